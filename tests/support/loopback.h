// SPDX-License-Identifier: MIT
#ifndef CORVID_TESTS_SUPPORT_LOOPBACK_H
#define CORVID_TESTS_SUPPORT_LOOPBACK_H

// A connected pair of TCP streams on 127.0.0.1 with an ephemeral port, made
// in one thread: the connection completes in the listener's backlog before
// it is accepted. Both ends get a receive time-out so that no test can wait
// for ever. Needs the network subsystem started.

#include <corvid/internet/address/ip4.h>
#include <corvid/internet/address/ip6.h>
#include <corvid/internet/transport/tcp/raw.h>

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <vector>

namespace corvid::test {

struct tcp_pair {
    explicit tcp_pair(int timeout_ms = 5000) {
        internet::address::ip4 any("127.0.0.1", 0);
        listener.open(any);
        listener.bind(any);
        listener.listen();
        listener.local_address(address);
        client.open(address);
        client.connect(address);
        server.accept(listener);
        client.set_receive_timeout(timeout_ms);
        server.set_receive_timeout(timeout_ms);
    }

    internet::address::ip4 address;
    internet::transport::tcp::raw listener;
    internet::transport::tcp::raw client;
    internet::transport::tcp::raw server;
};

// Whether a socket can be bound to ::1, asked of the system directly. Tests
// on IPv6 skip with a message saying so when it cannot.
inline bool has_ipv6_loopback() {
    const int fd = ::socket(AF_INET6, SOCK_STREAM, 0);
    if (fd < 0) return false;
    sockaddr_in6 loopback{};
    loopback.sin6_family = AF_INET6;
    loopback.sin6_addr = in6addr_loopback;
    const bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&loopback), sizeof loopback) == 0;
    ::close(fd);
    return bound;
}

// A port on 127.0.0.1 that takes no more connections and refuses none: its
// listener's queue is full and never taken from, so that the system drops
// further SYNs and a connect attempt goes on unanswered, as with a dead
// host. made is false when no attempt stayed unanswered (then skip).
struct silent_port {
    silent_port() {
        listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in any{};
        any.sin_family = AF_INET;
        any.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof any;
        if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr*>(&any), length) != 0 ||
            ::listen(listener, 0) != 0 || ::getsockname(listener, reinterpret_cast<sockaddr*>(&any), &length) != 0)
            return;
        address.assign(&any, sizeof any);
        // The system lets a few more in than the backlog says.
        for (int i = 0; i < 16 && !made; ++i) {
            const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            fillers.push_back(fd);
            if (::connect(fd, reinterpret_cast<sockaddr*>(&any), sizeof any) == 0) continue;
            pollfd entry{fd, POLLOUT, 0};
            made = ::poll(&entry, 1, 200) == 0;
        }
    }
    silent_port(const silent_port&) = delete;
    silent_port& operator=(const silent_port&) = delete;
    ~silent_port() {
        for (int fd : fillers) ::close(fd);
        if (listener >= 0) ::close(listener);
    }

    internet::address::ip4 address;
    bool made = false;
    int listener = -1;
    std::vector<int> fillers;
};

#define CORVID_REQUIRE_IPV6_LOOPBACK() \
    if (!corvid::test::has_ipv6_loopback()) GTEST_SKIP() << "this machine has no IPv6 loopback address (::1)"

}  // namespace corvid::test

#endif
