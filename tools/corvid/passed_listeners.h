// SPDX-License-Identifier: MIT
#ifndef CORVID_TOOLS_PASSED_LISTENERS_H
#define CORVID_TOOLS_PASSED_LISTENERS_H

#include <corvid/internet/transport/tcp/raw.h>

#include <memory>
#include <vector>

namespace corvid_tool {

using listener_list = std::vector<std::unique_ptr<corvid::internet::transport::tcp::raw>>;

// The listening sockets a service manager passed (socket activation), ready
// to accept; empty when none were passed to this process. Throws
// corvid::exception, naming the descriptor, when one cannot serve.
listener_list passed_listeners();

}  // namespace corvid_tool

#endif
