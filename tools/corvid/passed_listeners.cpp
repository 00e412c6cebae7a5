// SPDX-License-Identifier: MIT
#include "passed_listeners.h"

#include <corvid/exception.h>
#include <corvid/platform/passed_sockets.h>

#include <string>
#include <utility>

namespace corvid_tool {

listener_list passed_listeners() {
    corvid::platform::passed_sockets passed = corvid::platform::take_passed_listeners();
    if (!passed.problem.empty()) throw corvid::exception(passed.problem);
    listener_list listeners;
    for (corvid::platform::unique_socket& socket : passed.listeners) {
        listeners.push_back(std::make_unique<corvid::internet::transport::tcp::raw>());
        listeners.back()->adopt(std::move(socket));
    }
    return listeners;
}

}  // namespace corvid_tool
