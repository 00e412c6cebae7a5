// SPDX-License-Identifier: MIT
#ifndef CORVID_INTERNET_ADDRESS_LOOKUP_H
#define CORVID_INTERNET_ADDRESS_LOOKUP_H

// Internal to the endpoints: the resolver calls they share, with the
// failures raised as the address and environment classes.

#include <corvid/internet/address/base.h>
#include <corvid/platform/resolver.h>
#include <corvid/platform/status_table.h>

#include <string>
#include <system_error>

namespace corvid::internet::address::detail {

// Returns when ec is clear, throws the class the call's row names otherwise.
void check(platform::status_call c, const std::error_code& ec);

// getaddrinfo for host (and service, when not null) with hints (null for
// none). Never empty: failures throw.
platform::address_info_list look_up(const std::string& host, const std::string* service, const addrinfo* hints);

// Whether entry holds a whole record of family (AF_INET or AF_INET6).
bool usable(const addrinfo& entry, int family) noexcept;

// The walk found no entry to take.
[[noreturn]] void walk_failed();

// Host text of address by getnameinfo with flags, numeric when no name is
// found.
std::string host_text(const base& address, int flags);

// Same size and the same bytes.
bool same_bytes(const base& a, const base& b) noexcept;

}  // namespace corvid::internet::address::detail

#endif
