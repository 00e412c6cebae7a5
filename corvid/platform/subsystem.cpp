// SPDX-License-Identifier: MIT
#include <corvid/platform/subsystem.h>

#include <corvid/platform/call.h>
#include <corvid/platform/sys.h>

#include <atomic>

namespace corvid::platform {

namespace {

std::atomic<int> start_count{0};

}  // namespace

void startup(std::error_code& ec) noexcept {
    ec.clear();
    const int status = sys::calls().startup();
    if (status == 0)
        ++start_count;
    else
        detail::report(ec, status);
}

void cleanup(std::error_code& ec) noexcept {
    ec.clear();
    // Take the count back only when there is one, so that a surplus clean-up
    // cannot drive it below zero while another thread starts.
    int count = start_count.load();
    do {
        if (count == 0) return detail::report(ec, socket_errc::not_initialised);
    } while (!start_count.compare_exchange_weak(count, count - 1));
    const int status = sys::calls().cleanup();
    if (status != 0) {
        ++start_count;  // a failed stop leaves the subsystem running
        detail::report(ec, status);
    }
}

bool started() noexcept { return start_count.load() > 0; }

}  // namespace corvid::platform
