#include <corvid/internet/address/ip4.h>

#include <corvid/format.h>
#include <corvid/internet/environment/errors.h>
#include <corvid/platform/error.h>
#include <corvid/platform/resolver.h>
#include <corvid/platform/subsystem.h>

#include <arpa/inet.h>
#include <cstring>

namespace corvid::internet::address {

using platform::socket_errc;

namespace {

constexpr int code(socket_errc e) { return static_cast<int>(e); }

// The first IPv4 result for host (and service, when given).
sockaddr_in resolve(const std::string& host, const std::string* service) {
    addrinfo* raw = nullptr;
    int status;
    // The resolver would stop at a NUL byte and look up some other name.
    if (host.find('\0') != std::string::npos) {
        status = code(socket_errc::host_not_found);
        platform::set_last_error(status);
    } else if (service != nullptr && service->find('\0') != std::string::npos) {
        status = code(socket_errc::type_not_found);
        platform::set_last_error(status);
    } else {
        status = platform::get_address_info(host.c_str(), service ? service->c_str() : nullptr, nullptr, &raw);
    }
    platform::address_info_list list(raw);  // freed on every way out
    switch (status) {
        case 0:
            for (const addrinfo* entry = list.get(); entry != nullptr; entry = entry->ai_next) {
                if (entry->ai_family == AF_INET && entry->ai_addrlen == sizeof(sockaddr_in)) {
                    sockaddr_in found;
                    std::memcpy(&found, entry->ai_addr, sizeof found);
                    return found;
                }
            }
            throw generic("GetAddrInfoA() walk failed");
        case code(socket_errc::not_initialised):
            throw environment::subsystem_not_ready("GetAddrInfoA() failed");
        case code(socket_errc::type_not_found): throw service_not_found("GetAddrInfoA() failed");
        case code(socket_errc::host_not_found):
        case code(socket_errc::no_data): throw host_not_found("GetAddrInfoA() failed");
        default: throw generic(format("GetAddrInfoA() returned status 0x%.8x", status));
    }
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
    auto lookup = [&](int with) {
        return platform::get_name_info(data(), static_cast<socklen_t>(size()), host, sizeof host, nullptr,
                                       0, with);
    };
    int status = lookup(flags);
    if (status != 0) status = lookup(numeric_host);
    switch (status) {
        case 0: return host;
        case code(socket_errc::not_initialised):
            throw environment::subsystem_not_ready("GetNameInfoA() failed");
        case code(socket_errc::host_not_found):
        case code(socket_errc::no_data): throw host_not_found("GetNameInfoA() failed");
        default: throw generic(format("GetNameInfoA() returned status 0x%.8x", status));
    }
}

std::uint16_t ip4::port() const noexcept { return ntohs(record.sin_port); }

bool ip4::operator==(const base& other) const noexcept {
    return other.size() == size() && std::memcmp(other.data(), &record, sizeof record) == 0;
}

bool ip4::operator!=(const base& other) const noexcept { return !(*this == other); }

}  // namespace corvid::internet::address
