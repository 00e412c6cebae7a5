// SPDX-License-Identifier: MIT
#ifndef CORVID_INTERNET_TRANSPORT_ERROR_TABLE_H
#define CORVID_INTERNET_TRANSPORT_ERROR_TABLE_H

// Internal to the transports: which exception a socket call's error code
// raises. Each call has its own row; a code outside the row raises
// transport::generic with "<call>() returned status 0x%.8x".

#include <corvid/internet/address/base.h>
#include <corvid/platform/error.h>

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

// The call's name as messages give it, e.g. "recv".
const char* name(call c) noexcept;

// Returns when ec is clear or its code is ignored in the call's row, and
// throws the row's exception otherwise.
void check(call c, const std::error_code& ec);

// How many bytes a call that fills in an address may write into out: a whole
// record of either family for an address::endpoint, out.size() otherwise.
int room_for(const address::base& out) noexcept;
// After such a call wrote length bytes: an endpoint takes the family of a
// whole record of either size; any other address must have come whole.
// Throws generic "<call>() returned address of incorrect size" otherwise.
void take_address(call c, int length, address::base& out);

}  // namespace corvid::internet::transport::detail

#endif
