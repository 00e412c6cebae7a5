#include <corvid/platform/resolver.h>

#include <corvid/platform/call.h>
#include <corvid/platform/sys.h>
#include <corvid/text.h>

#include <cstring>
#include <string_view>

namespace corvid::platform {

namespace {

int store(int code) noexcept {
    set_last_error(code);
    return code;
}

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

int get_address_info(const char* host, const char* service, const addrinfo* hints,
                     addrinfo** result) noexcept {
    *result = nullptr;
    if (!started()) return store(static_cast<int>(socket_errc::not_initialised));
    if (in_invalid_domain(host)) return store(static_cast<int>(socket_errc::host_not_found));
    if (port_out_of_range(service)) return store(static_cast<int>(socket_errc::type_not_found));
    int status = sys::calls().getaddrinfo(host, service, hints, result);
    int error = errno;
    if (status != 0) *result = nullptr;
    return store(from_resolver(status, error));
}

void free_address_info(addrinfo* list) noexcept {
    if (list != nullptr) sys::calls().freeaddrinfo(list);
}

int get_name_info(const sockaddr* address, socklen_t length, char* host, socklen_t host_size,
                  char* service, socklen_t service_size, int flags) noexcept {
    if (!started()) return store(static_cast<int>(socket_errc::not_initialised));
    int status = sys::calls().getnameinfo(address, length, host, host_size, service, service_size, flags);
    int error = errno;
    return store(from_resolver(status, error));
}

int get_host_name(char* buffer, std::size_t size) noexcept {
    std::error_code ec;
    if (!detail::ready(ec)) return -1;
    if (size == 0) {
        store(static_cast<int>(socket_errc::bad_address));
        return -1;
    }
    if (sys::calls().gethostname(buffer, size) != 0) {
        store(from_errno(errno));
        return -1;
    }
    buffer[size - 1] = '\0';
    return 0;
}

bool connected_state(unsigned* flags) noexcept {
    *flags = 0;
    return sys::calls().connected_state(flags);
}

}  // namespace corvid::platform
