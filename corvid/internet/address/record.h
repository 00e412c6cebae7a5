// SPDX-License-Identifier: MIT
#ifndef CORVID_INTERNET_ADDRESS_RECORD_H
#define CORVID_INTERNET_ADDRESS_RECORD_H

#include <corvid/internet/address/base.h>

#include <netinet/in.h>

namespace corvid::internet::address::detail {

// What ip4 and ip6 share: one socket-address record of a fixed type, its
// family's first usable resolver result, compared byte for byte.
// Instantiated for sockaddr_in and sockaddr_in6 only.
template <typename Record>
class record_address : public base {
public:
    // Throws invalid_address_format ("Size mismatch") unless length is
    // size(); the family in raw is not examined.
    void assign(const void* raw, int length) override;
    const sockaddr* data() const noexcept override;
    sockaddr* data() noexcept override;
    int size() const noexcept override;
    std::string to_string(int flags) const override;
    std::uint16_t port() const noexcept override;
    // Equal when the other is an address of the same size with the same
    // bytes: every field and the padding count.
    bool operator==(const base& other) const noexcept override;
    bool operator!=(const base& other) const noexcept override;

protected:
    // The family's empty address, port 0.
    record_address() noexcept;
    // The first result of the record's family for host (and service, when
    // not null); port replaces the resolver's unless service is given.
    record_address(const std::string& host, const std::string* service, std::uint16_t port);

    Record record;
};

extern template class record_address<sockaddr_in>;
extern template class record_address<sockaddr_in6>;

}  // namespace corvid::internet::address::detail

#endif
