#include <corvid/internet/address/ip4.h>

#include <corvid/internet/transport/status_table.h>
#include <corvid/platform/error.h>
#include <corvid/platform/resolver.h>

#include <arpa/inet.h>
#include <cstring>

namespace corvid::internet::address {

using platform::socket_errc;
using transport::detail::status_call;

namespace {

// The first IPv4 result for host (and service, when given).
sockaddr_in resolve(const std::string& host, const std::string* service) {
    std::error_code ec;
    platform::address_info_list list;
    // The resolver would stop at a NUL byte and look up some other name.
    if (host.find('\0') != std::string::npos)
        ec = socket_errc::host_not_found;
    else if (service != nullptr && service->find('\0') != std::string::npos)
        ec = socket_errc::type_not_found;
    else
        list = platform::get_address_info(host.c_str(), service ? service->c_str() : nullptr, nullptr, ec);
    transport::detail::check(status_call::getaddrinfo, ec);
    for (const addrinfo* entry = list.get(); entry != nullptr; entry = entry->ai_next) {
        if (entry->ai_family == AF_INET && entry->ai_addrlen == sizeof(sockaddr_in)) {
            sockaddr_in found;
            std::memcpy(&found, entry->ai_addr, sizeof found);
            return found;
        }
    }
    throw generic("GetAddrInfoA() walk failed");
}

}  // namespace

ip4::ip4() noexcept : record{} { record.sin_family = AF_INET; }

ip4::ip4(const std::string& host, std::uint16_t port) : record(resolve(host, nullptr)) {
    record.sin_port = htons(port);
}

ip4::ip4(const std::string& host, const std::string& service)
    : record(resolve(host, &service)) {}

void ip4::assign(const void* raw, int length) {
    if (length != size()) throw invalid_address_format("Size mismatch");
    std::memcpy(&record, raw, sizeof record);
}

const sockaddr* ip4::data() const noexcept { return reinterpret_cast<const sockaddr*>(&record); }

sockaddr* ip4::data() noexcept { return reinterpret_cast<sockaddr*>(&record); }

int ip4::size() const noexcept { return sizeof record; }

std::string ip4::to_string(int flags) const {
    char host[NI_MAXHOST] = {};
    std::error_code ec;
    auto lookup = [&](int with) {
        platform::get_name_info(data(), static_cast<socklen_t>(size()), host, sizeof host, nullptr, 0, with, ec);
    };
    lookup(flags);
    if (ec) lookup(numeric_host);
    transport::detail::check(status_call::getnameinfo, ec);
    return host;
}

std::uint16_t ip4::port() const noexcept { return ntohs(record.sin_port); }

bool ip4::operator==(const base& other) const noexcept {
    return other.size() == size() && std::memcmp(other.data(), &record, sizeof record) == 0;
}

bool ip4::operator!=(const base& other) const noexcept { return !(*this == other); }

}  // namespace corvid::internet::address
