// SPDX-License-Identifier: MIT
#ifndef CORVID_PLATFORM_SUBSYSTEM_H
#define CORVID_PLATFORM_SUBSYSTEM_H

#include <system_error>

// The network subsystem's start-up state, kept the way the classic socket
// API keeps it: every start-up that succeeds counts once, every clean-up
// takes one count back, and a socket or resolver call made while the count is
// 0 fails with not_initialised (10093).
namespace corvid::platform {

// Starts the subsystem; on failure ec holds the status and the count is
// unchanged.
void startup(std::error_code& ec) noexcept;

// Takes one start-up back; not_initialised when nothing was started.
void cleanup(std::error_code& ec) noexcept;

// Whether the count is above 0.
bool started() noexcept;

}  // namespace corvid::platform

#endif
