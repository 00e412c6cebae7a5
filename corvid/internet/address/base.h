// SPDX-License-Identifier: MIT
#ifndef CORVID_INTERNET_ADDRESS_BASE_H
#define CORVID_INTERNET_ADDRESS_BASE_H

#include <corvid/internet/address/errors.h>

#include <cstdint>
#include <netdb.h>
#include <string>
#include <sys/socket.h>

namespace corvid::internet::address {

// The to_string flag for numeric host text only, without a reverse lookup.
inline constexpr int numeric_host = NI_NUMERICHOST;

// A socket endpoint as the socket calls see it: a socket-address record of
// a fixed size that they read or fill in. Not deleted through this base.
class base {
public:
    // Replaces the record with length bytes at raw; throws
    // invalid_address_format when length is not size(), and then changes
    // nothing.
    virtual void assign(const void* raw, int length) = 0;
    virtual const sockaddr* data() const noexcept = 0;
    virtual sockaddr* data() noexcept = 0;
    virtual int size() const noexcept = 0;
    // Host text by reverse resolution with getnameinfo flags; falls back to
    // the numeric form when the name cannot be found.
    virtual std::string to_string(int flags) const = 0;
    // The port in host byte order.
    virtual std::uint16_t port() const noexcept = 0;
    virtual bool operator==(const base& other) const noexcept = 0;
    virtual bool operator!=(const base& other) const noexcept = 0;

protected:
    base() = default;
    base(const base&) = default;
    base& operator=(const base&) = default;
    ~base() = default;
};

}  // namespace corvid::internet::address

#endif
