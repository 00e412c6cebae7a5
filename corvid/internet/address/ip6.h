// SPDX-License-Identifier: MIT
#ifndef CORVID_INTERNET_ADDRESS_IP6_H
#define CORVID_INTERNET_ADDRESS_IP6_H

#include <corvid/internet/address/record.h>

namespace corvid::internet::address {

// An IPv6 endpoint, kept as the system's 28-byte sockaddr_in6 so that socket
// calls take it unchanged; a link-local address carries the scope (the
// interface) it is reached through. A default ip6 is :: port 0. Numeric
// text of a scoped address ends in "%" and the interface's name.
// The resolving constructors throw host_not_found, service_not_found or
// generic (also for a name with IPv4 addresses only), and
// environment::subsystem_not_ready before start-up.
class ip6 final : public detail::record_address<sockaddr_in6> {
public:
    ip6() noexcept = default;
    // host is a name or numeric text, with a scope after "%" for a
    // link-local address ("fe80::1%eth0" or "fe80::1%2"); the first IPv6
    // address found is taken.
    ip6(const std::string& host, std::uint16_t port) : record_address(host, nullptr, port) {}
    // service is a service name ("smtp") or a numeric port text.
    ip6(const std::string& host, const std::string& service) : record_address(host, &service, 0) {}

    // The interface index of a scoped address, 0 for none.
    std::uint32_t scope_id() const noexcept { return record.sin6_scope_id; }
    // An IPv4 peer on a dual-stack socket shows as ::ffff:a.b.c.d.
    bool is_v4_mapped() const noexcept { return IN6_IS_ADDR_V4MAPPED(&record.sin6_addr); }

    using record_address::operator==;
    using record_address::operator!=;
    bool operator==(const ip6& other) const noexcept { return *this == static_cast<const base&>(other); }
    bool operator!=(const ip6& other) const noexcept { return *this != static_cast<const base&>(other); }
};

}  // namespace corvid::internet::address

#endif
