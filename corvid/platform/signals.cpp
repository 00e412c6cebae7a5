// SPDX-License-Identifier: MIT
#include <corvid/platform/signals.h>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace corvid::platform {

namespace {

int stop_pipe[2] = {-1, -1};

extern "C" void on_stop_signal(int) { request_stop(); }

}  // namespace

native_socket watch_stop_signals(std::error_code& ec) noexcept {
    ec.clear();
    if (::pipe2(stop_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        ec.assign(errno, std::generic_category());
        return invalid_socket;
    }
    struct sigaction action {};
    action.sa_handler = on_stop_signal;
    sigemptyset(&action.sa_mask);
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    if (::sigaction(SIGINT, &action, nullptr) != 0 || ::sigaction(SIGTERM, &action, nullptr) != 0 ||
        ::sigaction(SIGPIPE, &ignore, nullptr) != 0) {
        ec.assign(errno, std::generic_category());
        return invalid_socket;
    }
    return stop_pipe[0];
}

void request_stop() noexcept {
    const int saved = errno;
    const char byte = 1;
    // A full pipe already holds a stop.
    [[maybe_unused]] const ssize_t ignored = ::write(stop_pipe[1], &byte, 1);
    errno = saved;
}

long process_id() noexcept { return static_cast<long>(::getpid()); }

}  // namespace corvid::platform
