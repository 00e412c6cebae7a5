// SPDX-License-Identifier: MIT
#include "passed_listeners.h"

#include <corvid/exception.h>
#include <corvid/internet/address/ip4.h>
#include <corvid/platform/passed_sockets.h>

#include <string>
#include <utility>

namespace corvid_tool {

listener_list passed_listeners() {
    corvid::platform::passed_sockets passed = corvid::platform::take_passed_listeners();
    if (!passed.problem.empty()) throw corvid::exception(passed.problem);
    listener_list listeners;
    for (corvid::platform::unique_socket& socket : passed.listeners) {
        const corvid::platform::native_socket fd = socket.get();
        listeners.push_back(std::make_unique<corvid::internet::transport::tcp::raw>());
        listeners.back()->adopt(std::move(socket));
        // Sessions name their client by its IPv4 address, in the log and
        // the Received: line; a socket of another family would take
        // connections only to refuse every message.
        try {
            corvid::internet::address::ip4 endpoint;
            listeners.back()->local_address(endpoint);
        } catch (const corvid::exception&) {
            throw corvid::exception("descriptor " + std::to_string(fd) +
                                    " passed in LISTEN_FDS is not an IPv4 socket, and the server listens on IPv4 alone");
        }
    }
    return listeners;
}

}  // namespace corvid_tool
