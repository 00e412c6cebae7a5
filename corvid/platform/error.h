// SPDX-License-Identifier: MIT
#ifndef CORVID_PLATFORM_ERROR_H
#define CORVID_PLATFORM_ERROR_H

#include <cstddef>
#include <system_error>

namespace corvid::platform {

// Socket and resolver failures, numbered as the classic socket API numbers
// them, so that the transports' error tables and their "returned status"
// messages read the same on every system. Codes that have no POSIX source
// (not_initialised, system_not_ready, version_not_supported) come from the
// start-up state emulated in subsystem.h.
enum class socket_errc : int {
    success = 0,
    not_enough_memory = 8,
    interrupted = 10004,
    permission_denied = 10013,
    bad_address = 10014,
    invalid_argument = 10022,
    too_many_open_files = 10024,
    would_block = 10035,
    in_progress = 10036,
    already = 10037,
    not_a_socket = 10038,
    destination_address_required = 10039,
    message_size = 10040,
    wrong_protocol_type = 10041,
    no_protocol_option = 10042,
    protocol_not_supported = 10043,
    socket_type_not_supported = 10044,
    operation_not_supported = 10045,
    protocol_family_not_supported = 10046,
    address_family_not_supported = 10047,
    address_in_use = 10048,
    address_not_available = 10049,
    network_down = 10050,
    network_unreachable = 10051,
    network_reset = 10052,
    connection_aborted = 10053,
    connection_reset = 10054,
    no_buffer_space = 10055,
    already_connected = 10056,
    not_connected = 10057,
    shut_down = 10058,
    timed_out = 10060,
    connection_refused = 10061,
    name_too_long = 10063,
    host_down = 10064,
    host_unreachable = 10065,
    system_not_ready = 10091,
    version_not_supported = 10092,
    not_initialised = 10093,
    type_not_found = 10109,
    host_not_found = 11001,
    try_again = 11002,
    no_recovery = 11003,
    no_data = 11004,
};

// Unmapped errno values and resolver results keep their own number inside
// these ranges, so that a message still tells which one it was.
inline constexpr int unmapped_errno_base = 0x20000000;
inline constexpr int unmapped_resolver_base = 0x20010000;

// The code for an errno value that a socket call left. A receive time-out
// (EAGAIN) counts as timed_out: the library's sockets are blocking, and the
// calls that do not block report would_block themselves.
int from_errno(int error) noexcept;

// The code for a getaddrinfo or getnameinfo result; saved_errno is consulted
// for EAI_SYSTEM only.
int from_resolver(int status, int saved_errno) noexcept;

const std::error_category& socket_category() noexcept;

inline std::error_code make_error_code(socket_errc code) noexcept {
    return {static_cast<int>(code), socket_category()};
}

inline std::error_code make_socket_error(int code) noexcept { return {code, socket_category()}; }

// Where code stands among the columns of an error table (a row of outcomes
// per call, a column per code); N when it is none of them.
template <std::size_t N>
constexpr std::size_t column_of(const socket_errc (&columns)[N], int code) noexcept {
    std::size_t i = 0;
    while (i < N && static_cast<int>(columns[i]) != code) ++i;
    return i;
}

}  // namespace corvid::platform

template <>
struct std::is_error_code_enum<corvid::platform::socket_errc> : std::true_type {};

#endif
