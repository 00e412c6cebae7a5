// SPDX-License-Identifier: MIT
#include <corvid/platform/resolver.h>

#include <corvid/platform/call.h>
#include <corvid/platform/sys.h>
#include <corvid/text.h>

#include <cstring>
#include <string_view>

namespace corvid::platform {

namespace {

// RFC 6761 reserves .invalid: no name under it exists, so no query is sent.
bool in_invalid_domain(const char* host) noexcept {
    if (host == nullptr) return false;
    std::string_view name(host);
    if (!name.empty() && name.back() == '.') name.remove_suffix(1);
    constexpr std::string_view domain = "invalid";
    if (name.size() < domain.size()) return false;
    std::string_view tail = name.substr(name.size() - domain.size());
    return iequals(tail, domain) &&
           (name.size() == domain.size() || name[name.size() - domain.size() - 1] == '.');
}

// The system reads a numeric service as strtoul does, with leading white
// space and a plus sign, and keeps only the low 16 bits of the number.
bool port_out_of_range(const char* service) noexcept {
    if (service == nullptr) return false;
    const char* p = service;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
    if (*p == '+') ++p;
    if (*p == '\0') return false;
    unsigned long value = 0;
    for (; *p != '\0'; ++p) {
        if (*p < '0' || *p > '9') return false;
        value = value * 10 + static_cast<unsigned long>(*p - '0');
        if (value > 65535) return true;
    }
    return false;
}

}  // namespace

address_info_list get_address_info(const char* host, const char* service, const addrinfo* hints,
                                   std::error_code& ec) noexcept {
    if (!detail::ready(ec)) return {};
    if (in_invalid_domain(host)) {
        detail::report(ec, socket_errc::host_not_found);
        return {};
    }
    if (port_out_of_range(service)) {
        detail::report(ec, socket_errc::type_not_found);
        return {};
    }
    addrinfo* result = nullptr;
    const int status = sys::calls().getaddrinfo(host, service, hints, &result);
    const int error = errno;
    if (status == 0) return address_info_list(result);
    detail::report(ec, from_resolver(status, error));
    return {};
}

void free_address_info(addrinfo* list) noexcept {
    if (list != nullptr) sys::calls().freeaddrinfo(list);
}

void get_name_info(const sockaddr* address, socklen_t length, char* host, socklen_t host_size, char* service,
                   socklen_t service_size, int flags, std::error_code& ec) noexcept {
    if (!detail::ready(ec)) return;
    const int status = sys::calls().getnameinfo(address, length, host, host_size, service, service_size, flags);
    const int error = errno;
    if (status != 0) detail::report(ec, from_resolver(status, error));
}

void get_host_name(char* buffer, std::size_t size, std::error_code& ec) noexcept {
    if (!detail::ready(ec)) return;
    if (size == 0) return detail::report(ec, socket_errc::bad_address);
    if (sys::calls().gethostname(buffer, size) != 0) return detail::report(ec, from_errno(errno));
    buffer[size - 1] = '\0';
}

bool connected_state(unsigned* flags) noexcept {
    *flags = 0;
    return sys::calls().connected_state(flags);
}

}  // namespace corvid::platform
