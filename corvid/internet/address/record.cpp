// SPDX-License-Identifier: MIT
#include <corvid/internet/address/record.h>

#include <corvid/internet/address/errors.h>
#include <corvid/internet/address/lookup.h>

#include <arpa/inet.h>
#include <cstring>

namespace corvid::internet::address::detail {

namespace {

constexpr int family_of(const sockaddr_in*) noexcept { return AF_INET; }
constexpr int family_of(const sockaddr_in6*) noexcept { return AF_INET6; }
template <typename Record>
constexpr int family = family_of(static_cast<const Record*>(nullptr));

// sin_port and sin6_port, in network byte order.
std::uint16_t& port_field(sockaddr_in& r) noexcept { return r.sin_port; }
std::uint16_t& port_field(sockaddr_in6& r) noexcept { return r.sin6_port; }
std::uint16_t port_field(const sockaddr_in& r) noexcept { return r.sin_port; }
std::uint16_t port_field(const sockaddr_in6& r) noexcept { return r.sin6_port; }

// The first result of Record's family for host (and service, when given).
template <typename Record>
Record resolve(const std::string& host, const std::string* service) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    // An IPv4 lookup goes without hints, as it always has; an IPv6 one needs
    // them, since without hints the system adds AI_ADDRCONFIG, which drops
    // IPv6 results on a host whose only IPv6 address is the loopback one.
    // Both ask for every family, so that a name without the one wanted
    // fails the walk alike.
    const platform::address_info_list list = look_up(host, service, family<Record> == AF_INET ? nullptr : &hints);
    for (const addrinfo* entry = list.get(); entry != nullptr; entry = entry->ai_next) {
        if (usable(*entry, family<Record>)) {
            Record found;
            std::memcpy(&found, entry->ai_addr, sizeof found);
            return found;
        }
    }
    walk_failed();
}

}  // namespace

template <typename Record>
record_address<Record>::record_address() noexcept : record{} {
    data()->sa_family = family<Record>;
}

template <typename Record>
record_address<Record>::record_address(const std::string& host, const std::string* service, std::uint16_t port)
    : record(resolve<Record>(host, service)) {
    if (service == nullptr) port_field(record) = htons(port);
}

template <typename Record>
void record_address<Record>::assign(const void* raw, int length) {
    if (length != size()) throw invalid_address_format("Size mismatch");
    std::memcpy(&record, raw, sizeof record);
}

template <typename Record>
const sockaddr* record_address<Record>::data() const noexcept {
    return reinterpret_cast<const sockaddr*>(&record);
}

template <typename Record>
sockaddr* record_address<Record>::data() noexcept {
    return reinterpret_cast<sockaddr*>(&record);
}

template <typename Record>
int record_address<Record>::size() const noexcept {
    return sizeof record;
}

template <typename Record>
std::string record_address<Record>::to_string(int flags) const {
    return host_text(*this, flags);
}

template <typename Record>
std::uint16_t record_address<Record>::port() const noexcept {
    return ntohs(port_field(record));
}

template <typename Record>
bool record_address<Record>::operator==(const base& other) const noexcept {
    return same_bytes(*this, other);
}

template <typename Record>
bool record_address<Record>::operator!=(const base& other) const noexcept {
    return !(*this == other);
}

template class record_address<sockaddr_in>;
template class record_address<sockaddr_in6>;

}  // namespace corvid::internet::address::detail
