// SPDX-License-Identifier: MIT
#ifndef CORVID_PLATFORM_PASSED_SOCKETS_H
#define CORVID_PLATFORM_PASSED_SOCKETS_H

// Listening sockets that a service manager opened and handed to this
// process (socket activation): LISTEN_FDS descriptors from 3 on, meant for
// the process whose id is LISTEN_PID. Read from the environment directly,
// so a server needs no library of the service manager's.

#include <corvid/platform/socket.h>

#include <string>
#include <vector>

namespace corvid::platform {

struct passed_sockets {
    std::vector<unique_socket> listeners;
    // Set, and listeners empty, when sockets were passed but cannot serve:
    // a malformed count, or a descriptor that is not a listening TCP socket.
    std::string problem;
};

// Takes the sockets passed to this process, once: the variables are removed
// so that programs started from here never take the descriptors for their
// own, and the descriptors are closed on exec. Nothing was passed when
// LISTEN_FDS is unset, or when LISTEN_PID names another process (a parent
// that left the variables behind).
passed_sockets take_passed_listeners();

}  // namespace corvid::platform

#endif
