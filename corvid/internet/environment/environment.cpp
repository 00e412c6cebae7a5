// SPDX-License-Identifier: MIT
#include <corvid/internet/environment/environment.h>

#include <corvid/internet/environment/status.h>
#include <corvid/platform/resolver.h>
#include <corvid/platform/subsystem.h>
#include <corvid/domain_name.h>
#include <corvid/text.h>

#include <string_view>

namespace corvid::internet::environment {

using platform::status_call;

// A name that a peer can look up: two or more labels, a last one that is
// not all digits (that would be an address), and no name of the loopback
// host.
bool is_fully_qualified(std::string_view name) {
    if (name.ends_with('.')) name.remove_suffix(1);
    if (!is_domain(name) || name.size() > 253 || name.find('.') == std::string_view::npos) return false;
    const std::string_view last = name.substr(name.rfind('.') + 1);
    if (last.find_first_not_of("0123456789") == std::string_view::npos) return false;
    const std::string lowered = to_lower(std::string(name));
    return !lowered.starts_with("localhost.") && !lowered.ends_with(".localdomain") &&
           !lowered.ends_with(".localhost");
}

int cleanup() {
    std::error_code ec;
    platform::cleanup(ec);
    detail::check(status_call::cleanup, ec);  // returns for nothing started
    return ec.value();
}

std::string host_name() {
    char buffer[2048];
    std::error_code ec;
    platform::get_host_name(buffer, sizeof buffer, ec);
    detail::check(status_call::gethostname, ec);
    return buffer;
}

std::string fully_qualified_name() {
    const std::string name = host_name();
    addrinfo hints{};
    hints.ai_flags = AI_CANONNAME;
    std::error_code ec;
    const platform::address_info_list list = platform::get_address_info(name.c_str(), nullptr, &hints, ec);
    if (!ec && list && list->ai_canonname && is_fully_qualified(list->ai_canonname)) return list->ai_canonname;
    return is_fully_qualified(name) ? name : std::string();
}

bool offline() {
    unsigned flags = 0;
    if (platform::connected_state(&flags)) return false;
    return (flags & platform::offline_flag) != 0;
}

}  // namespace corvid::internet::environment
