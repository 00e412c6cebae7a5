// SPDX-License-Identifier: MIT
#ifndef CORVID_PLATFORM_STATUS_TABLE_H
#define CORVID_PLATFORM_STATUS_TABLE_H

// Internal to the library: what a resolver or start-up call's error code
// means, the counterpart of the transports' socket error table for the calls
// that the endpoints and the network environment make. The table lives here,
// below both, and says which class to raise; each of them raises its own
// classes, so that neither depends on the other's folder.

#include <string>
#include <system_error>

namespace corvid::platform {

enum class status_call {
    getaddrinfo,  // address family
    getnameinfo,  // address family
    gethostname,  // environment family
    startup,      // environment family
    cleanup,      // environment family
};

enum class status_outcome : unsigned char {
    ignored,  // ec clear, or a clean-up with nothing started
    subsystem_not_ready,
    subsystem_failed,
    version_not_supported,
    host_not_found,
    service_not_found,
    // A code outside the call's row: the generic class of the call's family,
    // with "<call>() returned status 0x%.8x".
    address_generic,
    environment_generic,
};

struct status_verdict {
    status_outcome outcome = status_outcome::ignored;
    // "<call>() failed", or the returned-status text; empty when ignored.
    std::string message;
};

status_verdict judge(status_call c, const std::error_code& ec);

}  // namespace corvid::platform

#endif
