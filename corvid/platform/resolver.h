// SPDX-License-Identifier: MIT
#ifndef CORVID_PLATFORM_RESOLVER_H
#define CORVID_PLATFORM_RESOLVER_H

#include <cstddef>
#include <memory>
#include <netdb.h>
#include <system_error>

// Name resolution and host facts with the classic socket API's behaviour:
// failures are socket_errc codes in ec, and every call fails with
// not_initialised while the subsystem is not started.
namespace corvid::platform {

void free_address_info(addrinfo* list) noexcept;

struct address_info_deleter {
    void operator()(addrinfo* list) const noexcept { free_address_info(list); }
};
using address_info_list = std::unique_ptr<addrinfo, address_info_deleter>;

// getaddrinfo; an empty list on failure. Names in the reserved .invalid
// domain fail with host_not_found without asking anyone, and a numeric
// service beyond 65535 fails with type_not_found instead of wrapping round
// to another port.
address_info_list get_address_info(const char* host, const char* service, const addrinfo* hints,
                                   std::error_code& ec) noexcept;

void get_name_info(const sockaddr* address, socklen_t length, char* host, socklen_t host_size, char* service,
                   socklen_t service_size, int flags, std::error_code& ec) noexcept;

// gethostname. The text is always NUL-terminated within size.
void get_host_name(char* buffer, std::size_t size, std::error_code& ec) noexcept;

// Whether a network connection exists, and the state flags; offline_flag is
// the flag of a system in offline mode.
inline constexpr unsigned offline_flag = 0x20;
bool connected_state(unsigned* flags) noexcept;

}  // namespace corvid::platform

#endif
