#include "commands.h"
#include "io.h"

#include <corvid/internet/address/ip4.h>
#include <corvid/internet/environment/startup.h>

#include <memory>
#include <string>

namespace corvid_tool {

void add_resolve_command(CLI::App& app) {
    auto host = std::make_shared<std::string>();
    auto service = std::make_shared<std::string>();
    auto* cmd = app.add_subcommand("resolve", "Print the IPv4 endpoint that a host and a port or service name resolve to");
    cmd->add_option("HOST", *host, "Host name or numeric address")->required();
    cmd->add_option("SERVICE", *service, "Port number or service name, such as smtp")->required();
    cmd->callback([host, service] {
        if (host->empty() || service->empty())
            throw CLI::ValidationError(host->empty() ? "HOST" : "SERVICE", "must not be empty");
        corvid::internet::environment::startup network;
        const corvid::internet::address::ip4 endpoint = failing_as(
            "cannot resolve \"" + *host + "\" port \"" + *service + "\"",
            [&] { return corvid::internet::address::ip4(*host, *service); });
        write_output(endpoint.to_string(corvid::internet::address::numeric_host) + ":" +
                     std::to_string(endpoint.port()) + "\n");
    });
}

}  // namespace corvid_tool
