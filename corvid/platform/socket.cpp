// SPDX-License-Identifier: MIT
#include <corvid/platform/socket.h>

#include <corvid/platform/call.h>
#include <corvid/platform/sys.h>

#include <climits>
#include <cstring>
#include <fcntl.h>
#include <iterator>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/time.h>

namespace corvid::platform {

using detail::ready;
using detail::report;
using detail::retry;

namespace {

// For a call that must not block, EAGAIN means "nothing can move now", not
// the receive time-out that from_errno takes it for.
int from_errno_without_blocking(int error) noexcept {
    if (error == EAGAIN || error == EWOULDBLOCK) return static_cast<int>(socket_errc::would_block);
    return from_errno(error);
}

}  // namespace

unique_socket& unique_socket::operator=(unique_socket&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
}

unique_socket::~unique_socket() { reset(); }

native_socket unique_socket::release() noexcept {
    native_socket held = fd;
    fd = invalid_socket;
    return held;
}

void unique_socket::reset(native_socket next) noexcept {
    if (fd != invalid_socket && fd != next) sys::calls().close(fd);
    fd = next;
}

void unique_socket::close(std::error_code& ec) noexcept {
    bool running = ready(ec);
    native_socket held = release();
    if (held == invalid_socket) {
        if (running) report(ec, socket_errc::not_a_socket);
        return;
    }
    // Never retried: after EINTR the descriptor is already gone, and a second
    // close could hit one that another thread has just opened.
    if (sys::calls().close(held) != 0 && running) {
        int error = errno;
        if (error != EINTR) report(ec, from_errno(error));
    }
}

unique_socket open_socket(int family, int type, int protocol, std::error_code& ec) noexcept {
    if (!ready(ec)) return {};
    int fd = retry(ec, [&] { return sys::calls().socket(family, type | SOCK_CLOEXEC, protocol); });
    return unique_socket(fd < 0 ? invalid_socket : fd);
}

void bind(native_socket s, const sockaddr* address, socklen_t length, std::error_code& ec) noexcept {
    if (ready(ec)) retry(ec, [&] { return sys::calls().bind(s, address, length); });
}

void listen(native_socket s, int backlog, std::error_code& ec) noexcept {
    if (ready(ec)) retry(ec, [&] { return sys::calls().listen(s, backlog); });
}

namespace {

unique_socket take_connection(native_socket s, sockaddr* peer, socklen_t* length, int (*map)(int) noexcept,
                              std::error_code& ec) noexcept {
    if (!ready(ec)) return {};
    int fd = retry(ec, [&] { return sys::calls().accept4(s, peer, length, SOCK_CLOEXEC); }, map);
    // Linux reports a connection that its peer dropped while it waited as
    // aborted; the classic API reports it as reset, and callers tell it from
    // a broken listener by that code.
    if (ec == socket_errc::connection_aborted) report(ec, socket_errc::connection_reset);
    return unique_socket(fd < 0 ? invalid_socket : fd);
}

// Sets O_NONBLOCK; false with ec set when that failed.
bool set_non_blocking(native_socket s, std::error_code& ec) noexcept {
    const int flags = retry(ec, [&] { return sys::calls().fcntl(s, F_GETFL, 0); });
    return flags >= 0 && retry(ec, [&] { return sys::calls().fcntl(s, F_SETFL, flags | O_NONBLOCK); }) >= 0;
}

}  // namespace

unique_socket accept(native_socket s, std::error_code& ec) noexcept {
    return take_connection(s, nullptr, nullptr, from_errno, ec);
}

unique_socket try_accept(native_socket s, sockaddr* peer, socklen_t* length, std::error_code& ec) noexcept {
    return take_connection(s, peer, length, from_errno_without_blocking, ec);
}

void connect(native_socket s, const sockaddr* address, socklen_t length,
             std::error_code& ec) noexcept {
    if (!ready(ec)) return;
    if (sys::calls().connect(s, address, length) == 0) return;
    int error = errno;
    if (error == EINTR) {
        // The attempt goes on in the background; calling connect again would
        // only report EALREADY. Wait for it to end and take its outcome.
        if (retry(ec, [&] { return sys::calls().poll_writable(s); }) < 0) return;
        socklen_t size = sizeof error;
        if (retry(ec, [&] { return sys::calls().getsockopt(s, SOL_SOCKET, SO_ERROR, &error, &size); }) < 0)
            return;
        if (error == 0) return;
    }
    report(ec, from_errno(error));
}

namespace {

// Back to blocking, as the stream's other calls expect; a failure here is
// reported only when nothing went wrong before.
void block_again(native_socket s, std::error_code& ec) noexcept {
    std::error_code failure;
    int flags = retry(failure, [&] { return sys::calls().fcntl(s, F_GETFL, 0); });
    if (flags >= 0) retry(failure, [&] { return sys::calls().fcntl(s, F_SETFL, flags & ~O_NONBLOCK); });
    if (failure && !ec) ec = failure;
}

}  // namespace

bool start_connect(native_socket s, const sockaddr* address, socklen_t length, std::error_code& ec) noexcept {
    if (!ready(ec)) return false;
    if (!set_non_blocking(s, ec)) return false;
    if (sys::calls().connect(s, address, length) == 0) {
        block_again(s, ec);
        return !ec;
    }
    // Without blocking, the attempt goes on in the background (after a
    // signal too); its outcome shows once the socket turns writable.
    if (int error = errno; error != EINPROGRESS && error != EINTR) {
        report(ec, from_errno(error));
        block_again(s, ec);
    }
    return false;
}

void finish_connect(native_socket s, std::error_code& ec) noexcept {
    if (!ready(ec)) return;
    int error = 0;
    socklen_t size = sizeof error;
    if (retry(ec, [&] { return sys::calls().getsockopt(s, SOL_SOCKET, SO_ERROR, &error, &size); }) >= 0 &&
        error != 0)
        report(ec, from_errno(error));
    block_again(s, ec);
}

bool connect(native_socket s, const sockaddr* address, socklen_t length, int timeout_ms,
             std::error_code& ec) noexcept {
    if (!ready(ec)) return false;
    if (timeout_ms <= 0) {
        report(ec, socket_errc::invalid_argument);
        return false;
    }
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    if (start_connect(s, address, length, ec)) return true;
    if (ec) return false;
    if (wait_writable(s, deadline, ec)) {
        finish_connect(s, ec);
        return !ec;
    }
    // Timed out (ec clear) or the wait failed: blocking again all the same.
    block_again(s, ec);
    return false;
}

void shutdown(native_socket s, int how, std::error_code& ec) noexcept {
    if (ready(ec)) retry(ec, [&] { return sys::calls().shutdown(s, how); });
}

socklen_t local_address(native_socket s, sockaddr* address, socklen_t length,
                        std::error_code& ec) noexcept {
    if (ready(ec)) retry(ec, [&] { return sys::calls().getsockname(s, address, &length); });
    return length;
}

socklen_t peer_address(native_socket s, sockaddr* address, socklen_t length,
                       std::error_code& ec) noexcept {
    if (ready(ec)) retry(ec, [&] { return sys::calls().getpeername(s, address, &length); });
    return length;
}

namespace {

std::size_t count(ssize_t result) noexcept { return result < 0 ? 0 : static_cast<std::size_t>(result); }

}  // namespace

std::size_t receive(native_socket s, void* buffer, std::size_t size, std::error_code& ec) noexcept {
    if (!ready(ec)) return 0;
    return count(retry(ec, [&] { return sys::calls().recv(s, buffer, size, 0); }));
}

std::size_t send(native_socket s, const void* data, std::size_t size, std::error_code& ec) noexcept {
    if (!ready(ec)) return 0;
    return count(retry(ec, [&] { return sys::calls().send(s, data, size, MSG_NOSIGNAL); }));
}

namespace {

// What is left until deadline in whole milliseconds, rounded up so that a
// wait never ends before it, within what poll takes.
int milliseconds_until(std::chrono::steady_clock::time_point deadline) noexcept {
    auto now = std::chrono::steady_clock::now();
    if (deadline <= now) return 0;
    auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count();
    return left > INT_MAX ? INT_MAX : static_cast<int>(left);
}

bool wait_for(native_socket s, short events, std::chrono::steady_clock::time_point deadline,
              std::error_code& ec) noexcept {
    if (!ready(ec)) return false;
    // poll passes over negative descriptors and would wait out the deadline.
    if (s < 0) {
        report(ec, socket_errc::not_a_socket);
        return false;
    }
    for (;;) {
        // Recomputed on every round, so that signals and early wake-ups
        // neither shorten nor stretch the wait.
        int timeout = milliseconds_until(deadline);
        if (timeout == 0) return false;
        pollfd entry{s, events, 0};
        int result = sys::calls().poll(&entry, 1, timeout);
        // Errors and hang-ups count as ready: the call that follows reports them.
        if (result > 0) return true;
        if (result < 0) {
            int error = errno;
            if (error == EINTR) continue;
            report(ec, from_errno(error));
            return false;
        }
    }
}

}  // namespace

std::size_t try_receive(native_socket s, void* buffer, std::size_t size, std::error_code& ec) noexcept {
    if (!ready(ec)) return 0;
    return count(retry(
        ec, [&] { return sys::calls().recv(s, buffer, size, MSG_DONTWAIT); }, from_errno_without_blocking));
}

std::size_t try_send(native_socket s, const void* data, std::size_t size, std::error_code& ec) noexcept {
    if (!ready(ec)) return 0;
    return count(retry(
        ec, [&] { return sys::calls().send(s, data, size, MSG_NOSIGNAL | MSG_DONTWAIT); },
        from_errno_without_blocking));
}

bool wait_readable(native_socket s, std::chrono::steady_clock::time_point deadline,
                   std::error_code& ec) noexcept {
    return wait_for(s, POLLIN, deadline, ec);
}

bool wait_writable(native_socket s, std::chrono::steady_clock::time_point deadline,
                   std::error_code& ec) noexcept {
    return wait_for(s, POLLOUT, deadline, ec);
}

namespace {

// The index of the first of count descriptors that poll finds ready for
// events (or failed), or count: with ec clear once deadline (if any) has
// passed, with ec set on failure.
std::size_t wait_any(const native_socket* descriptors, std::size_t count, short events,
                     const std::chrono::steady_clock::time_point* deadline, std::error_code& ec) noexcept {
    if (!ready(ec)) return count;
    pollfd entries[max_wait_descriptors];
    if (count == 0 || count > std::size(entries)) {
        report(ec, socket_errc::invalid_argument);
        return count;
    }
    for (std::size_t i = 0; i < count; ++i) entries[i] = {descriptors[i], events, 0};
    for (;;) {
        const int timeout = deadline ? milliseconds_until(*deadline) : -1;
        if (timeout == 0) return count;
        const int result = sys::calls().poll(entries, static_cast<nfds_t>(count), timeout);
        if (result > 0) break;
        const int error = errno;
        if (result == 0 || error == EINTR) continue;
        report(ec, from_errno(error));
        return count;
    }
    std::size_t i = 0;
    while (i < count && entries[i].revents == 0) ++i;
    return i;
}

}  // namespace

std::size_t wait_readable_any(const native_socket* descriptors, std::size_t count, std::error_code& ec) noexcept {
    return wait_any(descriptors, count, POLLIN, nullptr, ec);
}

std::size_t wait_writable_any(const native_socket* descriptors, std::size_t count,
                              std::chrono::steady_clock::time_point deadline, std::error_code& ec) noexcept {
    return wait_any(descriptors, count, POLLOUT, &deadline, ec);
}

void connection_waiter::open(native_socket stop, const native_socket* sockets, std::size_t number,
                             std::error_code& ec) noexcept {
    if (!ready(ec)) return;
    if (number == 0 || number > std::size(listeners)) return report(ec, socket_errc::invalid_argument);
    epoll.reset(retry(ec, [&] { return sys::calls().epoll_create1(EPOLL_CLOEXEC); }));
    if (ec) return;
    // The stop stays level-triggered: each thread woken for it returns, and
    // the system then wakes the next one, until all have seen it.
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.u64 = stopped;
    if (retry(ec, [&] { return sys::calls().epoll_ctl(epoll.get(), EPOLL_CTL_ADD, stop, &event); }) < 0) return;
    for (count = 0; count < number; ++count) {
        const native_socket s = sockets[count];
        listeners[count] = s;
        if (!set_non_blocking(s, ec)) return;
        // One-shot: reported to one waiting thread, then quiet until rearmed.
        event.events = EPOLLIN | EPOLLONESHOT;
        event.data.u64 = count;
        if (retry(ec, [&] { return sys::calls().epoll_ctl(epoll.get(), EPOLL_CTL_ADD, s, &event); }) < 0) return;
    }
}

std::size_t connection_waiter::wait(int timeout_ms, std::error_code& ec) noexcept {
    if (!ready(ec)) return stopped;
    if (!epoll.valid()) {
        report(ec, socket_errc::invalid_argument);
        return stopped;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    for (int wait_ms = timeout_ms;;) {
        epoll_event event{};
        const int result = sys::calls().epoll_wait(epoll.get(), &event, 1, wait_ms);
        if (result > 0) return static_cast<std::size_t>(event.data.u64);
        const int error = errno;
        if (result < 0 && error != EINTR) {
            report(ec, from_errno(error));
            return stopped;
        }
        if (timeout_ms >= 0) {
            wait_ms = milliseconds_until(deadline);
            if (wait_ms == 0) return timed_out;
        }
    }
}

void connection_waiter::rearm(std::size_t listener, std::error_code& ec) noexcept {
    if (!ready(ec)) return;
    if (listener >= count) return report(ec, socket_errc::invalid_argument);
    epoll_event event{};
    event.events = EPOLLIN | EPOLLONESHOT;
    event.data.u64 = listener;
    retry(ec, [&] { return sys::calls().epoll_ctl(epoll.get(), EPOLL_CTL_MOD, listeners[listener], &event); });
}

std::size_t receive_from(native_socket s, void* buffer, std::size_t size, sockaddr* from,
                         socklen_t* length, std::error_code& ec) noexcept {
    if (!ready(ec)) return 0;
    // MSG_TRUNC makes the call return the datagram's real length, so that a
    // datagram cut to fit the buffer is reported rather than passed on short.
    ssize_t result = retry(ec, [&] { return sys::calls().recvfrom(s, buffer, size, MSG_TRUNC, from, length); });
    if (result < 0) return 0;
    if (static_cast<std::size_t>(result) > size) {
        report(ec, socket_errc::message_size);
        return size;
    }
    return count(result);
}

std::size_t send_to(native_socket s, const void* data, std::size_t size, const sockaddr* to,
                    socklen_t length, std::error_code& ec) noexcept {
    if (!ready(ec)) return 0;
    return count(retry(ec, [&] { return sys::calls().sendto(s, data, size, MSG_NOSIGNAL, to, length); }));
}

void set_option(native_socket s, int level, int name, const void* value, socklen_t length,
                std::error_code& ec) noexcept {
    if (!ready(ec)) return;
    if (level == SOL_SOCKET && (name == SO_RCVTIMEO || name == SO_SNDTIMEO) && length == sizeof(int)) {
        int milliseconds;
        std::memcpy(&milliseconds, value, sizeof milliseconds);
        if (milliseconds < 0) return report(ec, socket_errc::invalid_argument);
        timeval limit{milliseconds / 1000, static_cast<suseconds_t>(milliseconds % 1000) * 1000};
        retry(ec, [&] { return sys::calls().setsockopt(s, level, name, &limit, sizeof limit); });
        return;
    }
    retry(ec, [&] { return sys::calls().setsockopt(s, level, name, value, length); });
}

void get_option(native_socket s, int level, int name, void* value, socklen_t* length,
                std::error_code& ec) noexcept {
    if (!ready(ec)) return;
    if (level != SOL_SOCKET || name != so_max_msg_size) {
        retry(ec, [&] { return sys::calls().getsockopt(s, level, name, value, length); });
        return;
    }
    int type = 0;
    int domain = 0;
    socklen_t size = sizeof type;
    if (retry(ec, [&] { return sys::calls().getsockopt(s, SOL_SOCKET, SO_TYPE, &type, &size); }) < 0) return;
    size = sizeof domain;
    if (retry(ec, [&] { return sys::calls().getsockopt(s, SOL_SOCKET, SO_DOMAIN, &domain, &size); }) < 0)
        return;
    if (type != SOCK_DGRAM || (domain != AF_INET && domain != AF_INET6) || *length < sizeof(int))
        return report(ec, socket_errc::no_protocol_option);
    int largest = domain == AF_INET ? max_udp4_payload : max_udp6_payload;
    std::memcpy(value, &largest, sizeof largest);
    *length = sizeof largest;
}

}  // namespace corvid::platform
