#include <corvid/internet/environment/environment.h>

#include <corvid/internet/transport/status_table.h>
#include <corvid/platform/resolver.h>
#include <corvid/platform/subsystem.h>

namespace corvid::internet::environment {

using transport::detail::status_call;

int cleanup() {
    std::error_code ec;
    platform::cleanup(ec);
    transport::detail::check(status_call::cleanup, ec);  // returns for nothing started
    return ec.value();
}

std::string host_name() {
    char buffer[2048];
    std::error_code ec;
    platform::get_host_name(buffer, sizeof buffer, ec);
    transport::detail::check(status_call::gethostname, ec);
    return buffer;
}

bool offline() {
    unsigned flags = 0;
    if (platform::connected_state(&flags)) return false;
    return (flags & platform::offline_flag) != 0;
}

}  // namespace corvid::internet::environment
