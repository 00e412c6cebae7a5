// SPDX-License-Identifier: MIT
#ifndef CORVID_TESTS_SUPPORT_SYS_FAULT_H
#define CORVID_TESTS_SUPPORT_SYS_FAULT_H

// Helpers for tests that replace entries of the platform layer's system-call
// table. A sys_guard restores the whole table when it goes out of scope.

#include <corvid/platform/sys.h>

#include <cerrno>

namespace corvid::test {

class sys_guard {
public:
    sys_guard() : saved(platform::sys::calls()) {}
    sys_guard(const sys_guard&) = delete;
    sys_guard& operator=(const sys_guard&) = delete;
    ~sys_guard() { platform::sys::calls() = saved; }

private:
    platform::sys::table saved;
};

// The errno that entries replaced by fail_with() leave.
inline int injected_errno = 0;

// Makes one entry of the table fail: it returns -1 with injected_errno.
template <typename R, typename... A>
void fail_with(R (*&entry)(A...), int error) {
    injected_errno = error;
    entry = [](A...) -> R {
        errno = injected_errno;
        return static_cast<R>(-1);
    };
}

}  // namespace corvid::test

#endif
