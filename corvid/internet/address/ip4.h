// SPDX-License-Identifier: MIT
#ifndef CORVID_INTERNET_ADDRESS_IP4_H
#define CORVID_INTERNET_ADDRESS_IP4_H

#include <corvid/internet/address/record.h>

namespace corvid::internet::address {

// An IPv4 endpoint, kept as the system's 16-byte sockaddr_in so that socket
// calls take it unchanged. The record's family is always what was resolved
// or assigned; a default ip4 is 0.0.0.0 port 0.
// The resolving constructors throw host_not_found, service_not_found or
// generic, and environment::subsystem_not_ready before start-up.
class ip4 final : public detail::record_address<sockaddr_in> {
public:
    ip4() noexcept = default;
    // host is a name or numeric text; the first IPv4 address found is taken.
    ip4(const std::string& host, std::uint16_t port) : record_address(host, nullptr, port) {}
    // service is a service name ("smtp") or a numeric port text.
    ip4(const std::string& host, const std::string& service) : record_address(host, &service, 0) {}

    using record_address::operator==;
    using record_address::operator!=;
    // Exact matches for two ip4s, so that a == b has one best reading.
    bool operator==(const ip4& other) const noexcept { return *this == static_cast<const base&>(other); }
    bool operator!=(const ip4& other) const noexcept { return *this != static_cast<const base&>(other); }
};

}  // namespace corvid::internet::address

#endif
