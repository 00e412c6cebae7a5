// SPDX-License-Identifier: MIT
#ifndef CORVID_PLATFORM_SIGNALS_H
#define CORVID_PLATFORM_SIGNALS_H

// A server's stop: SIGINT, SIGTERM and the program itself (stop_requested)
// make one descriptor readable, so that a loop waiting for connections
// wakes for a stop as well. Failures are errno values in ec.

#include <corvid/platform/socket.h>

#include <system_error>

namespace corvid::platform {

// Catches SIGINT and SIGTERM from now on, and ignores SIGPIPE, so that a
// peer gone away is a failed send rather than the end of the process.
// Returns the descriptor to wait on; call once per process.
native_socket watch_stop_signals(std::error_code& ec) noexcept;

// Asks for the stop as the signals do; async-signal-safe.
void request_stop() noexcept;

// The process's id, to make names unique among processes.
long process_id() noexcept;

}  // namespace corvid::platform

#endif
