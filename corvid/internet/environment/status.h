// SPDX-License-Identifier: MIT
#ifndef CORVID_INTERNET_ENVIRONMENT_STATUS_H
#define CORVID_INTERNET_ENVIRONMENT_STATUS_H

// Internal to the library: raising the environment classes for a start-up or
// resolver status, as the platform's status table judges it.

#include <corvid/platform/status_table.h>

#include <system_error>

namespace corvid::internet::environment::detail {

// Throws the environment class of verdict; environment::generic for any
// outcome that is not one of them.
[[noreturn]] void raise(const platform::status_verdict& verdict);

// Returns when ec is clear or ignored in the call's row, throws otherwise.
void check(platform::status_call c, const std::error_code& ec);

}  // namespace corvid::internet::environment::detail

#endif
