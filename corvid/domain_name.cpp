// SPDX-License-Identifier: MIT
#include <corvid/domain_name.h>

#include <arpa/inet.h>
#include <netinet/in.h>

#include <string>

namespace corvid {

namespace {

bool is_label_character(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-';
}

}  // namespace

bool is_domain(std::string_view name) noexcept {
    if (name.ends_with('.')) name.remove_suffix(1);
    if (name.empty() || name.size() > 255) return false;
    for (std::size_t start = 0; start <= name.size();) {
        std::size_t end = name.find('.', start);
        if (end == std::string_view::npos) end = name.size();
        const std::string_view label = name.substr(start, end - start);
        if (label.empty() || label.size() > 63 || label.front() == '-' || label.back() == '-') return false;
        for (char c : label)
            if (!is_label_character(c)) return false;
        start = end + 1;
    }
    return true;
}

bool is_address_literal(std::string_view name) noexcept {
    if (name.size() < 3 || name.front() != '[' || name.back() != ']' || name.size() > 64) return false;
    std::string_view inside = name.substr(1, name.size() - 2);
    const bool six = inside.starts_with("IPv6:") || inside.starts_with("ipv6:");
    if (six) inside.remove_prefix(5);
    // The system's own parser: the text and nothing else must be an address.
    const std::string text(inside);
    unsigned char bytes[sizeof(in6_addr)];
    return ::inet_pton(six ? AF_INET6 : AF_INET, text.c_str(), bytes) == 1;
}

}  // namespace corvid
