// SPDX-License-Identifier: MIT
#include <corvid/platform/passed_sockets.h>

#include <corvid/platform/sys.h>

#include <cstdlib>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace corvid::platform {

namespace {

// Service managers pass descriptors from 3 on, after the standard three.
constexpr int first_passed = 3;
// More than any socket unit lists; a bound keeps a bad count from walking
// over every descriptor number.
constexpr unsigned long most_passed = 1024;

bool socket_option(int fd, int name, int& value) {
    socklen_t length = sizeof value;
    return sys::calls().getsockopt(fd, SOL_SOCKET, name, &value, &length) == 0;
}

bool is_listening_tcp(int fd) {
    int domain = 0;
    int type = 0;
    int listening = 0;
    return socket_option(fd, SO_DOMAIN, domain) && (domain == AF_INET || domain == AF_INET6) &&
           socket_option(fd, SO_TYPE, type) && type == SOCK_STREAM &&
           socket_option(fd, SO_ACCEPTCONN, listening) && listening != 0;
}

}  // namespace

passed_sockets take_passed_listeners() {
    passed_sockets result;
    const char* count_variable = std::getenv("LISTEN_FDS");
    if (count_variable == nullptr) return result;
    const std::string count_text = count_variable;
    const char* pid_variable = std::getenv("LISTEN_PID");
    const std::string pid_text = pid_variable != nullptr ? pid_variable : "";
    ::unsetenv("LISTEN_FDS");
    ::unsetenv("LISTEN_PID");
    ::unsetenv("LISTEN_FDNAMES");
    if (pid_text != std::to_string(::getpid())) return result;

    if (count_text.empty() || count_text.size() > 4 ||
        count_text.find_first_not_of("0123456789") != std::string::npos ||
        std::stoul(count_text) > most_passed) {
        result.problem = "LISTEN_FDS is not a count of sockets: \"" + count_text + "\"";
        return result;
    }
    const int count = static_cast<int>(std::stoul(count_text));
    for (int fd = first_passed; fd < first_passed + count; ++fd) {
        if (!is_listening_tcp(fd)) {
            result.problem = "descriptor " + std::to_string(fd) + " passed in LISTEN_FDS is not a listening TCP socket";
            result.listeners.clear();
            return result;
        }
        // Owned from here on, so that a failure below closes what was taken.
        result.listeners.emplace_back(fd);
        if (sys::calls().fcntl(fd, F_SETFD, FD_CLOEXEC) != 0) {
            result.problem = "descriptor " + std::to_string(fd) + " passed in LISTEN_FDS cannot be kept from programs started here";
            result.listeners.clear();
            return result;
        }
    }
    return result;
}

}  // namespace corvid::platform
