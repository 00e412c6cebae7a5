// SPDX-License-Identifier: MIT
#ifndef CORVID_DOMAIN_NAME_H
#define CORVID_DOMAIN_NAME_H

#include <string_view>

namespace corvid {

// The forms a host may name itself by in mail: a domain of dotted labels
// (1 to 63 letters, digits and inner hyphens each, 255 octets in all, a
// final dot allowed), or an address literal in brackets, "[192.0.2.7]" or
// "[IPv6:2001:db8::1]".
bool is_domain(std::string_view name) noexcept;
bool is_address_literal(std::string_view name) noexcept;

}  // namespace corvid

#endif
