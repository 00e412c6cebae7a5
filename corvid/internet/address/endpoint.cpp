// SPDX-License-Identifier: MIT
#include <corvid/internet/address/endpoint.h>

#include <corvid/internet/address/lookup.h>

#include <arpa/inet.h>
#include <cstring>

namespace corvid::internet::address {

endpoint::endpoint() noexcept : endpoint(ip4()) {}

endpoint::endpoint(const ip4& address) noexcept : record{}, length(sizeof(sockaddr_in)) {
    std::memcpy(&record.v4, address.data(), sizeof record.v4);
}

endpoint::endpoint(const ip6& address) noexcept : record{}, length(sizeof(sockaddr_in6)) {
    std::memcpy(&record.v6, address.data(), sizeof record.v6);
}

void endpoint::assign(const void* raw, int size) {
    if (size != sizeof(sockaddr_in) && size != sizeof(sockaddr_in6)) throw invalid_address_format("Size mismatch");
    // raw may be this record, when a socket call has written through data().
    std::memmove(&record, raw, static_cast<std::size_t>(size));
    length = size;
}

const sockaddr* endpoint::data() const noexcept { return reinterpret_cast<const sockaddr*>(&record); }

sockaddr* endpoint::data() noexcept { return reinterpret_cast<sockaddr*>(&record); }

int endpoint::size() const noexcept { return length; }

std::string endpoint::to_string(int flags) const { return detail::host_text(*this, flags); }

std::uint16_t endpoint::port() const noexcept { return ntohs(is_ip6() ? record.v6.sin6_port : record.v4.sin_port); }

bool endpoint::operator==(const base& other) const noexcept { return detail::same_bytes(*this, other); }

bool endpoint::operator!=(const base& other) const noexcept { return !(*this == other); }

void endpoint::set_port(std::uint16_t port) noexcept {
    if (is_ip6())
        record.v6.sin6_port = htons(port);
    else
        record.v4.sin_port = htons(port);
}

endpoint endpoint::unmapped() const noexcept {
    if (!is_ip6() || !IN6_IS_ADDR_V4MAPPED(&record.v6.sin6_addr)) return *this;
    ip4 plain;
    auto* v4 = reinterpret_cast<sockaddr_in*>(plain.data());
    v4->sin_port = record.v6.sin6_port;
    std::memcpy(&v4->sin_addr, record.v6.sin6_addr.s6_addr + 12, sizeof v4->sin_addr);
    return plain;
}

namespace {

std::vector<endpoint> walk(const std::string& host, const std::string* service, family wanted) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;  // both asked for always, so that a missing family fails the walk as in ip4
    const platform::address_info_list list = detail::look_up(host, service, &hints);
    std::vector<endpoint> found;
    for (const addrinfo* entry = list.get(); entry != nullptr; entry = entry->ai_next) {
        endpoint next;
        if (wanted != family::ip6 && detail::usable(*entry, AF_INET))
            next.assign(entry->ai_addr, sizeof(sockaddr_in));
        else if (wanted != family::ip4 && detail::usable(*entry, AF_INET6))
            next.assign(entry->ai_addr, sizeof(sockaddr_in6));
        else
            continue;
        // Without a socket type asked for, each address comes once per type
        // (stream, datagram, raw).
        bool seen = false;
        for (const endpoint& earlier : found) seen = seen || earlier == next;
        if (!seen) found.push_back(next);
    }
    if (found.empty()) detail::walk_failed();
    return found;
}

}  // namespace

std::vector<endpoint> resolve(const std::string& host, std::uint16_t port, family wanted) {
    std::vector<endpoint> found = walk(host, nullptr, wanted);
    for (endpoint& each : found) each.set_port(port);
    return found;
}

std::vector<endpoint> resolve(const std::string& host, const std::string& service, family wanted) {
    return walk(host, &service, wanted);
}

namespace {

// Numeric host text without the scope of a link-local address.
std::string bare_host(const base& address) {
    std::string text = detail::host_text(address, numeric_host);
    return text.substr(0, text.find('%'));
}

}  // namespace

std::string literal(const base& address) {
    endpoint copy;
    copy.assign(address.data(), address.size());
    copy = copy.unmapped();
    std::string text = copy.is_ip6() ? "[IPv6:" : "[";
    text.append(bare_host(copy)).append("]");
    return text;
}

std::string numeric_text(const base& address) {
    const bool six = address.data()->sa_family == AF_INET6;
    std::string text = six ? "[" : "";
    text.append(detail::host_text(address, numeric_host)).append(six ? "]:" : ":");
    text.append(std::to_string(address.port()));
    return text;
}

}  // namespace corvid::internet::address
