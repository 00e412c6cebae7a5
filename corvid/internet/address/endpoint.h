// SPDX-License-Identifier: MIT
#ifndef CORVID_INTERNET_ADDRESS_ENDPOINT_H
#define CORVID_INTERNET_ADDRESS_ENDPOINT_H

#include <corvid/internet/address/ip4.h>
#include <corvid/internet/address/ip6.h>

#include <string>
#include <vector>

namespace corvid::internet::address {

// An endpoint of either family, as name resolution gives it: an ip4 record
// (16 bytes) or an ip6 record (28 bytes), whichever it was made from or last
// assigned. A default endpoint is the default ip4.
// assign throws invalid_address_format for any other length.
class endpoint final : public base {
public:
    endpoint() noexcept;
    endpoint(const ip4& address) noexcept;
    endpoint(const ip6& address) noexcept;

    // Takes a 16-byte record as IPv4 and a 28-byte one as IPv6; the family
    // field itself is not examined, as ip4 does not examine it.
    void assign(const void* raw, int length) override;
    const sockaddr* data() const noexcept override;
    sockaddr* data() noexcept override;
    int size() const noexcept override;
    std::string to_string(int flags) const override;
    std::uint16_t port() const noexcept override;
    bool operator==(const base& other) const noexcept override;
    bool operator!=(const base& other) const noexcept override;
    bool operator==(const endpoint& other) const noexcept { return *this == static_cast<const base&>(other); }
    bool operator!=(const endpoint& other) const noexcept { return *this != static_cast<const base&>(other); }

    void set_port(std::uint16_t port) noexcept;
    bool is_ip6() const noexcept { return length == sizeof(sockaddr_in6); }
    // An IPv4 peer on a dual-stack socket (::ffff:a.b.c.d) as the IPv4
    // endpoint it stands for; any other endpoint as it is.
    endpoint unmapped() const noexcept;

    // The largest record a socket call may write through data().
    static constexpr int capacity = sizeof(sockaddr_in6);

private:
    union {
        sockaddr_in v4;
        sockaddr_in6 v6;
    } record;
    int length;
};

// Which families resolve() returns.
enum class family { any, ip4, ip6 };

// Every endpoint of host (a name or numeric text) in the order the resolver
// gives them, which is its order of preference (RFC 6724), each address
// once, with port. Fails as ip4 and ip6 do: host_not_found,
// service_not_found, generic (also "GetAddrInfoA() walk failed" when the
// name has no address of the family asked for) and
// environment::subsystem_not_ready.
std::vector<endpoint> resolve(const std::string& host, std::uint16_t port, family wanted = family::any);
// The same with the port of service, a service name or a numeric port text.
std::vector<endpoint> resolve(const std::string& host, const std::string& service, family wanted = family::any);

// The address as a mail address literal (RFC 5321 4.1.3): "[192.0.2.7]" or
// "[IPv6:2001:db8::1]", an IPv4-mapped address in the IPv4 form, without a
// scope. The port is not part of it.
std::string literal(const base& address);

// Numeric address and port: "192.0.2.7:25", or "[2001:db8::1]:25" with a
// scope kept ("[fe80::1%eth0]:25").
std::string numeric_text(const base& address);

}  // namespace corvid::internet::address

#endif
