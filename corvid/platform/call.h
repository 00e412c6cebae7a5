// SPDX-License-Identifier: MIT
#ifndef CORVID_PLATFORM_CALL_H
#define CORVID_PLATFORM_CALL_H

// Internal to the platform layer: the shared steps of every wrapped call.

#include <corvid/platform/error.h>
#include <corvid/platform/subsystem.h>

#include <cerrno>
#include <system_error>

namespace corvid::platform::detail {

inline void report(std::error_code& ec, int code) noexcept { ec = make_socket_error(code); }

inline void report(std::error_code& ec, socket_errc code) noexcept {
    report(ec, static_cast<int>(code));
}

// Clears ec; false (with not_initialised reported) when nothing is started.
inline bool ready(std::error_code& ec) noexcept {
    if (started()) {
        ec.clear();
        return true;
    }
    report(ec, socket_errc::not_initialised);
    return false;
}

// Runs a system call until it is not interrupted by a signal. errno is read
// once, right after the call, and mapped into ec by map on failure.
template <typename Call, typename Map = int (*)(int) noexcept>
auto retry(std::error_code& ec, Call call, Map map = from_errno) noexcept {
    for (;;) {
        auto result = call();
        if (result >= 0) return result;
        int error = errno;
        if (error == EINTR) continue;
        report(ec, map(error));
        return result;
    }
}

}  // namespace corvid::platform::detail

#endif
