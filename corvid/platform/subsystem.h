#ifndef CORVID_PLATFORM_SUBSYSTEM_H
#define CORVID_PLATFORM_SUBSYSTEM_H

// The network subsystem's start-up state and the thread's last error, kept
// the way the classic socket API keeps them: every start-up that succeeds
// counts once, every clean-up takes one count back, and a socket or resolver
// call made while the count is 0 fails with not_initialised (10093).
namespace corvid::platform {

// Starts the subsystem; returns 0 or the failure status (the count is then
// unchanged). Does not touch the thread's last error.
int startup() noexcept;

// Takes one start-up back. Returns 0, or -1 with the reason in last_error():
// 10093 when nothing was started.
int cleanup() noexcept;

// Whether the count is above 0.
bool started() noexcept;

// The calling thread's last socket error.
int last_error() noexcept;
void set_last_error(int code) noexcept;

}  // namespace corvid::platform

#endif
