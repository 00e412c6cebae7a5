// SPDX-License-Identifier: MIT
#include <corvid/internet/address/lookup.h>

#include <corvid/internet/address/errors.h>
#include <corvid/internet/environment/status.h>
#include <corvid/platform/error.h>

#include <cstring>
#include <netinet/in.h>

namespace corvid::internet::address::detail {

using platform::socket_errc;
using platform::status_outcome;

void check(platform::status_call c, const std::error_code& ec) {
    const platform::status_verdict verdict = platform::judge(c, ec);
    switch (verdict.outcome) {
        case status_outcome::ignored: return;
        case status_outcome::host_not_found: throw host_not_found(verdict.message);
        case status_outcome::service_not_found: throw service_not_found(verdict.message);
        case status_outcome::address_generic: throw generic(verdict.message);
        default: environment::detail::raise(verdict);
    }
}

platform::address_info_list look_up(const std::string& host, const std::string* service, const addrinfo* hints) {
    std::error_code ec;
    platform::address_info_list list;
    // The resolver would stop at a NUL byte and look up some other name.
    if (host.find('\0') != std::string::npos)
        ec = socket_errc::host_not_found;
    else if (service != nullptr && service->find('\0') != std::string::npos)
        ec = socket_errc::type_not_found;
    else
        list = platform::get_address_info(host.c_str(), service ? service->c_str() : nullptr, hints, ec);
    check(platform::status_call::getaddrinfo, ec);
    return list;
}

bool usable(const addrinfo& entry, int family) noexcept {
    if (entry.ai_family != family || entry.ai_addr == nullptr) return false;
    return entry.ai_addrlen == (family == AF_INET ? sizeof(sockaddr_in) : sizeof(sockaddr_in6));
}

void walk_failed() { throw generic("GetAddrInfoA() walk failed"); }

std::string host_text(const base& address, int flags) {
    char host[NI_MAXHOST] = {};
    std::error_code ec;
    auto name = [&](int with) {
        platform::get_name_info(address.data(), static_cast<socklen_t>(address.size()), host, sizeof host, nullptr,
                                0, with, ec);
    };
    name(flags);
    if (ec) name(numeric_host);
    check(platform::status_call::getnameinfo, ec);
    return host;
}

bool same_bytes(const base& a, const base& b) noexcept {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), static_cast<std::size_t>(a.size())) == 0;
}

}  // namespace corvid::internet::address::detail
