// SPDX-License-Identifier: MIT
#include "commands.h"
#include "io.h"

#include <corvid/internet/address/endpoint.h>
#include <corvid/internet/environment/startup.h>

#include <memory>
#include <string>
#include <vector>

namespace corvid_tool {

void add_resolve_command(CLI::App& app) {
    namespace address = corvid::internet::address;
    auto host = std::make_shared<std::string>();
    auto service = std::make_shared<std::string>();
    auto only4 = std::make_shared<bool>(false);
    auto only6 = std::make_shared<bool>(false);
    auto* cmd = app.add_subcommand(
        "resolve", "Print every endpoint that a host and a port or service name resolve to, in the resolver's order");
    cmd->add_option("HOST", *host, "Host name or numeric address")->required();
    cmd->add_option("SERVICE", *service, "Port number or service name, such as smtp")->required();
    auto* four = cmd->add_flag("-4", *only4, "IPv4 endpoints only");
    cmd->add_flag("-6", *only6, "IPv6 endpoints only")->excludes(four);
    cmd->callback([host, service, only4, only6] {
        if (host->empty() || service->empty())
            throw CLI::ValidationError(host->empty() ? "HOST" : "SERVICE", "must not be empty");
        corvid::internet::environment::startup network;
        const address::family wanted = *only4 ? address::family::ip4 : *only6 ? address::family::ip6 : address::family::any;
        const std::vector<address::endpoint> endpoints =
            failing_as("cannot resolve \"" + *host + "\" port \"" + *service + "\"",
                       [&] { return address::resolve(*host, *service, wanted); });
        std::string text;
        for (const address::endpoint& each : endpoints) text += address::numeric_text(each) + "\n";
        write_output(text);
    });
}

}  // namespace corvid_tool
