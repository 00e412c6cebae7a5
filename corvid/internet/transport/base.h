// SPDX-License-Identifier: MIT
#ifndef CORVID_INTERNET_TRANSPORT_BASE_H
#define CORVID_INTERNET_TRANSPORT_BASE_H

#include <corvid/internet/address/base.h>
#include <corvid/internet/transport/errors.h>
#include <corvid/platform/socket.h>

#include <cstdint>
#include <utility>

namespace corvid::internet::transport {

// One socket and the operations every transport shares, with the running
// totals of bytes moved. An object without a socket holds invalid_socket;
// opening (or accepting) again closes the socket held before, and one that
// fails leaves the object without a socket.
// Failures throw transport or environment errors chosen by the socket error
// code; the destructor closes quietly and never throws.
class base {
public:
    base(const base&) = delete;
    base& operator=(const base&) = delete;
    virtual ~base();

    // Creates the socket for the address's family.
    virtual void open(const address::base& address) = 0;

    void bind(const address::base& local);
    // 0 means no time-out.
    void set_receive_timeout(int milliseconds);
    // The last time-out set, 0 for none.
    int receive_timeout() const noexcept { return receive_timeout_ms; }
    void set_send_buffer_size(int bytes);
    // Bounds each send: one that cannot go on for milliseconds fails.
    void set_send_timeout(int milliseconds);
    // Lets a listener bind an address whose last connections still linger,
    // so that a restarted server need not wait for them.
    void set_reuse_address(bool reuse);
    // For an IPv6 socket, before bind: true takes IPv6 only; false lets a
    // socket bound to :: take IPv4 as well (dual stack), its IPv4 peers
    // showing as ::ffff:a.b.c.d. The system's default is not relied on.
    void set_v6_only(bool only);
    // Closing an object that holds no socket is quiet. The socket is given up
    // even when the close reports an error.
    void close();
    // Takes over a socket opened elsewhere, such as a listening socket that
    // a service manager passed; the socket held before is closed.
    void adopt(platform::unique_socket socket) noexcept { handle = std::move(socket); }

    std::uint64_t bytes_received() const noexcept { return received; }
    std::uint64_t bytes_sent() const noexcept { return sent; }
    platform::native_socket socket_handle() const noexcept { return handle.get(); }

protected:
    base() = default;

    // Replaces the socket with a new one of type for address's family.
    void open_socket(const address::base& address, int type);

    platform::unique_socket handle;
    std::uint64_t received = 0;
    std::uint64_t sent = 0;
    int receive_timeout_ms = 0;
};

}  // namespace corvid::internet::transport

#endif
