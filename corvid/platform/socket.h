// SPDX-License-Identifier: MIT
#ifndef CORVID_PLATFORM_SOCKET_H
#define CORVID_PLATFORM_SOCKET_H

#include <chrono>
#include <cstddef>
#include <sys/socket.h>
#include <system_error>

// Socket calls with the classic socket API's behaviour on top of POSIX:
// failures come back as socket_errc codes (also stored as the thread's last
// error), every call fails with not_initialised while the subsystem is not
// started, EINTR is retried (close excepted), sends never raise SIGPIPE, and
// descriptors never leak into child processes.
namespace corvid::platform {

using native_socket = int;
inline constexpr native_socket invalid_socket = -1;

// SOL_SOCKET option, read only: the largest datagram payload the socket can
// send. Linux has no such option; the layer answers it itself.
inline constexpr int so_max_msg_size = 0x2003;
// Largest UDP payload over IPv4: 65535 less the IP and UDP headers.
inline constexpr int max_udp4_payload = 65507;
inline constexpr int max_udp6_payload = 65527;

// Owns one socket descriptor. Move-only; a moved-from or default handle holds
// invalid_socket. The destructor closes and ignores any error.
class unique_socket {
public:
    unique_socket() noexcept = default;
    explicit unique_socket(native_socket fd) noexcept : fd(fd) {}
    unique_socket(unique_socket&& other) noexcept : fd(other.release()) {}
    unique_socket& operator=(unique_socket&& other) noexcept;
    unique_socket(const unique_socket&) = delete;
    unique_socket& operator=(const unique_socket&) = delete;
    ~unique_socket();

    native_socket get() const noexcept { return fd; }
    bool valid() const noexcept { return fd != invalid_socket; }
    // Gives up ownership without closing.
    native_socket release() noexcept;
    // Closes what is held (ignoring errors) and takes fd.
    void reset(native_socket fd = invalid_socket) noexcept;
    // Closes what is held and reports how that went: not_a_socket when
    // nothing was held, not_initialised when the subsystem is stopped. The
    // descriptor is given up in every case, since POSIX close releases it
    // even when it reports an error; close is never retried.
    void close(std::error_code& ec) noexcept;

private:
    native_socket fd = invalid_socket;
};

unique_socket open_socket(int family, int type, int protocol, std::error_code& ec) noexcept;
void bind(native_socket s, const sockaddr* address, socklen_t length, std::error_code& ec) noexcept;
void listen(native_socket s, int backlog, std::error_code& ec) noexcept;
unique_socket accept(native_socket s, std::error_code& ec) noexcept;
// Takes a connection waiting on s, storing the peer's address in *peer
// (*length in and out), and fails with would_block rather than waiting when
// none is; s must be non-blocking (see connection_waiter).
unique_socket try_accept(native_socket s, sockaddr* peer, socklen_t* length, std::error_code& ec) noexcept;
// Blocks until the system's own connect attempt ends, also across signals.
void connect(native_socket s, const sockaddr* address, socklen_t length,
             std::error_code& ec) noexcept;
// Starts a connect attempt without blocking: true once connected at once;
// false with ec set when it failed at once; false with ec clear while it
// goes on, the socket left non-blocking until finish_connect once it turns
// writable. In the other cases the socket blocks again.
bool start_connect(native_socket s, const sockaddr* address, socklen_t length, std::error_code& ec) noexcept;
// The outcome of the attempt that start_connect began, once the socket has
// turned writable; the socket blocks again.
void finish_connect(native_socket s, std::error_code& ec) noexcept;
// Blocks until connected, but gives up once timeout_ms (> 0) have passed:
// then it returns false with ec clear. True once connected. The socket is
// blocking again afterwards in every case; after a time-out its attempt may
// go on.
bool connect(native_socket s, const sockaddr* address, socklen_t length, int timeout_ms,
             std::error_code& ec) noexcept;
void shutdown(native_socket s, int how, std::error_code& ec) noexcept;
// Return the length the system stored in *address.
socklen_t local_address(native_socket s, sockaddr* address, socklen_t length,
                        std::error_code& ec) noexcept;
socklen_t peer_address(native_socket s, sockaddr* address, socklen_t length,
                       std::error_code& ec) noexcept;

// Return the number of bytes moved; 0 from receive means the peer closed.
std::size_t receive(native_socket s, void* buffer, std::size_t size, std::error_code& ec) noexcept;
std::size_t send(native_socket s, const void* data, std::size_t size, std::error_code& ec) noexcept;
// The same without blocking: would_block when nothing can move at once.
std::size_t try_receive(native_socket s, void* buffer, std::size_t size, std::error_code& ec) noexcept;
std::size_t try_send(native_socket s, const void* data, std::size_t size, std::error_code& ec) noexcept;
// Wait until a receive or a send on s would not block, or until deadline:
// false with ec clear when the time runs out first, at once for a deadline
// already past. Signals do not shorten the wait.
bool wait_readable(native_socket s, std::chrono::steady_clock::time_point deadline,
                   std::error_code& ec) noexcept;
bool wait_writable(native_socket s, std::chrono::steady_clock::time_point deadline,
                   std::error_code& ec) noexcept;
// The most descriptors one wait below takes.
inline constexpr std::size_t max_wait_descriptors = 64;
// Waits, for as long as it takes, until one of the count descriptors
// (sockets, or a pipe that signals a stop) can be read or has failed;
// returns the index of the first such one, or count with ec set.
std::size_t wait_readable_any(const native_socket* descriptors, std::size_t count, std::error_code& ec) noexcept;
// The same for sending (or a connect attempt's end), until deadline: count
// with ec clear once it has passed.
std::size_t wait_writable_any(const native_socket* descriptors, std::size_t count,
                              std::chrono::steady_clock::time_point deadline, std::error_code& ec) noexcept;
// Listening sockets that several threads wait on at once, each through its
// own call to wait(): a connection wakes one waiting thread rather than all
// of them, and a stop wakes them all. A listener reported ready is not
// reported again until rearm(), so two threads never race for one
// connection; the thread that got it takes it (try_accept) and rearms.
// open() makes the listeners non-blocking, so a connection that went away
// before it was taken leaves try_accept with would_block, never stuck.
class connection_waiter {
public:
    // What wait() returns besides a listener's index.
    static constexpr std::size_t stopped = static_cast<std::size_t>(-1);
    static constexpr std::size_t timed_out = static_cast<std::size_t>(-2);

    // stop turns readable, for good, once the waiting should end.
    void open(native_socket stop, const native_socket* listeners, std::size_t count, std::error_code& ec) noexcept;
    // The index of a listener with a connection waiting, stopped, or
    // timed_out once timeout_ms (-1: no limit) have passed. Signals do not
    // end the wait.
    std::size_t wait(int timeout_ms, std::error_code& ec) noexcept;
    void rearm(std::size_t listener, std::error_code& ec) noexcept;

private:
    unique_socket epoll;
    native_socket listeners[max_wait_descriptors] = {};
    std::size_t count = 0;
};

// A datagram longer than size fails with message_size; *length is in/out.
std::size_t receive_from(native_socket s, void* buffer, std::size_t size, sockaddr* from,
                         socklen_t* length, std::error_code& ec) noexcept;
std::size_t send_to(native_socket s, const void* data, std::size_t size, const sockaddr* to,
                    socklen_t length, std::error_code& ec) noexcept;

// SO_RCVTIMEO and SO_SNDTIMEO take a 4-byte count of milliseconds (0 for
// none), as the classic API has them, and are converted here.
void set_option(native_socket s, int level, int name, const void* value, socklen_t length,
                std::error_code& ec) noexcept;
// Answers so_max_msg_size for datagram sockets; anything else goes to the
// system.
void get_option(native_socket s, int level, int name, void* value, socklen_t* length,
                std::error_code& ec) noexcept;

}  // namespace corvid::platform

#endif
