#ifndef CORVID_INTERNET_TRANSPORT_ERROR_TABLE_H
#define CORVID_INTERNET_TRANSPORT_ERROR_TABLE_H

// Internal to the transports: which exception a socket call's error code
// raises. Each call has its own row; a code outside the row raises
// transport::generic with "<call>() returned status 0x%.8x".

#include <corvid/platform/error.h>

#include <cstddef>
#include <system_error>

namespace corvid::internet::transport::detail {

enum class call {
    bind,
    setsockopt,
    closesocket,
    socket,
    listen,
    accept,
    connect,
    shutdown,
    getsockname,
    getpeername,
    recv,
    send,
    getsockopt,
    recvfrom,
    sendto,
};

// Where code stands among a table's columns; N when it is none of them.
template <std::size_t N>
constexpr std::size_t column_of(const platform::socket_errc (&columns)[N], int code) noexcept {
    std::size_t i = 0;
    while (i < N && static_cast<int>(columns[i]) != code) ++i;
    return i;
}

// The call's name as messages give it, e.g. "recv".
const char* name(call c) noexcept;

// Returns when ec is clear or its code is ignored in the call's row, and
// throws the row's exception otherwise.
void check(call c, const std::error_code& ec);

}  // namespace corvid::internet::transport::detail

#endif
