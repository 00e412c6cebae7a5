#ifndef CORVID_INTERNET_ADDRESS_IP4_H
#define CORVID_INTERNET_ADDRESS_IP4_H

#include <corvid/internet/address/base.h>

#include <netinet/in.h>

namespace corvid::internet::address {

// An IPv4 endpoint, kept as the system's 16-byte sockaddr_in so that socket
// calls take it unchanged. The record's family is always what was resolved
// or assigned; a default ip4 is 0.0.0.0 port 0.
// The resolving constructors throw host_not_found, service_not_found or
// generic, and environment::subsystem_not_ready before start-up.
class ip4 final : public base {
public:
    ip4() noexcept;
    // host is a name or numeric text; the first IPv4 address found is taken.
    ip4(const std::string& host, std::uint16_t port);
    // service is a service name ("smtp") or a numeric port text.
    ip4(const std::string& host, const std::string& service);

    void assign(const void* raw, int length) override;
    const sockaddr* data() const noexcept override;
    sockaddr* data() noexcept override;
    int size() const noexcept override;
    std::string to_string(int flags) const override;
    std::uint16_t port() const noexcept override;
    // Equal when the other is an address of the same size with the same
    // bytes: family, port, address and padding all count.
    bool operator==(const base& other) const noexcept override;
    bool operator!=(const base& other) const noexcept override;
    // Exact matches for two ip4s, so that a == b has one best reading.
    bool operator==(const ip4& other) const noexcept { return *this == static_cast<const base&>(other); }
    bool operator!=(const ip4& other) const noexcept { return *this != static_cast<const base&>(other); }

private:
    sockaddr_in record;
};

}  // namespace corvid::internet::address

#endif
