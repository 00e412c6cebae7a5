// SPDX-License-Identifier: MIT
#include <corvid/platform/socket.h>

#include "tests/support/sys_fault.h"

#include <corvid/platform/error.h>
#include <corvid/platform/subsystem.h>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <climits>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/time.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

namespace platform = corvid::platform;
namespace sys = corvid::platform::sys;

class socket_layer : public ::testing::Test {
protected:
    void SetUp() override {
        std::error_code ec;
        platform::startup(ec);
        ASSERT_FALSE(ec);
    }
    void TearDown() override {
        std::error_code ec;
        platform::cleanup(ec);
    }

    static platform::unique_socket open(int type) {
        std::error_code ec;
        auto handle = platform::open_socket(AF_INET, type, 0, ec);
        EXPECT_FALSE(ec);
        return handle;
    }

    static bool is_open(int fd) { return ::fcntl(fd, F_GETFD) != -1; }

    // A listener on 127.0.0.1 with an ephemeral port; its address in *out.
    static platform::unique_socket listener(sockaddr_in* out) {
        auto handle = open(SOCK_STREAM);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        std::error_code ec;
        platform::bind(handle.get(), reinterpret_cast<sockaddr*>(&address), sizeof address, ec);
        platform::listen(handle.get(), 4, ec);
        platform::local_address(handle.get(), reinterpret_cast<sockaddr*>(out), sizeof *out, ec);
        EXPECT_FALSE(ec);
        return handle;
    }
};

TEST_F(socket_layer, handle_owns_its_descriptor_until_released) {
    auto first = open(SOCK_STREAM);
    int fd = first.get();
    ASSERT_TRUE(is_open(fd));
    EXPECT_NE(::fcntl(fd, F_GETFD) & FD_CLOEXEC, 0);

    platform::unique_socket moved(std::move(first));
    EXPECT_FALSE(first.valid());
    EXPECT_EQ(moved.get(), fd);

    auto other = open(SOCK_STREAM);
    int other_fd = other.get();
    moved = std::move(other);  // the old descriptor is closed, not leaked
    EXPECT_FALSE(is_open(fd));
    EXPECT_EQ(moved.get(), other_fd);

    int raw = moved.release();
    EXPECT_FALSE(moved.valid());
    EXPECT_TRUE(is_open(raw));
    {
        platform::unique_socket again(raw);
    }
    EXPECT_FALSE(is_open(raw));
}

TEST_F(socket_layer, close_reports_an_empty_handle_and_is_never_retried) {
    platform::unique_socket empty;
    std::error_code ec;
    empty.close(ec);
    EXPECT_EQ(ec.value(), 10038);

    corvid::test::sys_guard guard;
    static int closes;
    closes = 0;
    sys::calls().close = [](int fd) {
        ++closes;
        sys::system_calls().close(fd);
        errno = EINTR;
        return -1;
    };
    auto handle = open(SOCK_STREAM);
    handle.close(ec);
    EXPECT_EQ(closes, 1);
    EXPECT_FALSE(ec);  // the descriptor is gone: an interrupted close succeeded
    EXPECT_FALSE(handle.valid());
}

TEST_F(socket_layer, interrupted_calls_are_repeated) {
    corvid::test::sys_guard guard;
    static int interruptions;
    interruptions = 2;
    sys::calls().recv = [](int fd, void* buffer, std::size_t size, int flags) -> ssize_t {
        if (interruptions > 0) {
            --interruptions;
            errno = EINTR;
            return -1;
        }
        return sys::system_calls().recv(fd, buffer, size, flags);
    };
    int pair[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
    platform::unique_socket a(pair[0]), b(pair[1]);
    std::error_code ec;
    EXPECT_EQ(platform::send(b.get(), "xy", 2, ec), 2u);
    char buffer[4];
    EXPECT_EQ(platform::receive(a.get(), buffer, sizeof buffer, ec), 2u);
    EXPECT_FALSE(ec);
    EXPECT_EQ(interruptions, 0);
}

TEST_F(socket_layer, interrupted_connect_waits_for_the_attempt) {
    sockaddr_in address{};
    auto server = listener(&address);
    corvid::test::sys_guard guard;
    // The system's attempt goes on after the signal; here it even completes.
    sys::calls().connect = [](int fd, const sockaddr* to, socklen_t length) {
        sys::system_calls().connect(fd, to, length);
        errno = EINTR;
        return -1;
    };
    auto client = open(SOCK_STREAM);
    std::error_code ec;
    platform::connect(client.get(), reinterpret_cast<sockaddr*>(&address), sizeof address, ec);
    EXPECT_FALSE(ec) << ec.value();
    sockaddr_in peer{};
    EXPECT_EQ(platform::peer_address(client.get(), reinterpret_cast<sockaddr*>(&peer), sizeof peer, ec),
              sizeof peer);
    EXPECT_EQ(peer.sin_port, address.sin_port);
}

TEST_F(socket_layer, waits_take_the_time_left_and_calls_without_blocking_say_so) {
    using namespace std::chrono;
    int pair[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
    platform::unique_socket a(pair[0]), b(pair[1]);
    std::error_code ec;
    char byte;
    EXPECT_EQ(platform::try_receive(a.get(), &byte, 1, ec), 0u);
    EXPECT_EQ(ec.value(), 10035);  // would_block, not timed_out as from recv

    corvid::test::sys_guard guard;
    static std::vector<int> timeouts;
    timeouts.clear();
    // A signal after 30 ms: the wait goes on with what is left.
    sys::calls().poll = [](pollfd* entries, nfds_t count, int timeout) {
        timeouts.push_back(timeout);
        if (timeouts.size() > 1) return sys::system_calls().poll(entries, count, timeout);
        ::poll(nullptr, 0, 30);
        errno = EINTR;
        return -1;
    };
    platform::send(b.get(), "x", 1, ec);
    EXPECT_TRUE(platform::wait_readable(a.get(), steady_clock::now() + seconds(10), ec));
    EXPECT_FALSE(ec);
    ASSERT_EQ(timeouts.size(), 2u);
    EXPECT_LE(timeouts[0], 10000);
    EXPECT_LE(timeouts[1], timeouts[0] - 29);

    timeouts.clear();
    EXPECT_FALSE(platform::wait_writable(a.get(), steady_clock::now() - milliseconds(1), ec));
    EXPECT_FALSE(ec);
    EXPECT_TRUE(timeouts.empty());  // a deadline past ends the wait at once
    timeouts = {0};
    EXPECT_TRUE(platform::wait_writable(a.get(), steady_clock::now() + hours(1000), ec));
    EXPECT_EQ(timeouts[1], INT_MAX);
    EXPECT_FALSE(platform::wait_readable(platform::invalid_socket, steady_clock::now() + hours(1), ec));
    EXPECT_EQ(ec.value(), 10038);
}

TEST_F(socket_layer, receive_timeout_is_given_in_milliseconds) {
    auto handle = open(SOCK_DGRAM);
    std::error_code ec;
    int milliseconds = 1500;
    platform::set_option(handle.get(), SOL_SOCKET, SO_RCVTIMEO, &milliseconds, sizeof milliseconds, ec);
    ASSERT_FALSE(ec);
    timeval limit{};
    socklen_t length = sizeof limit;
    ASSERT_EQ(::getsockopt(handle.get(), SOL_SOCKET, SO_RCVTIMEO, &limit, &length), 0);
    EXPECT_EQ(limit.tv_sec, 1);
    EXPECT_EQ(limit.tv_usec, 500000);

    milliseconds = -1;
    platform::set_option(handle.get(), SOL_SOCKET, SO_RCVTIMEO, &milliseconds, sizeof milliseconds, ec);
    EXPECT_EQ(ec.value(), 10022);
}

TEST_F(socket_layer, largest_message_is_known_for_datagram_sockets_only) {
    int value = 0;
    socklen_t length = sizeof value;
    std::error_code ec;
    auto udp = open(SOCK_DGRAM);
    platform::get_option(udp.get(), SOL_SOCKET, platform::so_max_msg_size, &value, &length, ec);
    EXPECT_FALSE(ec);
    EXPECT_EQ(value, 65507);
    EXPECT_EQ(length, sizeof value);

    auto tcp = open(SOCK_STREAM);
    platform::get_option(tcp.get(), SOL_SOCKET, platform::so_max_msg_size, &value, &length, ec);
    EXPECT_EQ(ec.value(), 10042);
    platform::get_option(platform::invalid_socket, SOL_SOCKET, platform::so_max_msg_size, &value, &length, ec);
    EXPECT_EQ(ec.value(), 10038);
}

TEST_F(socket_layer, sending_to_a_closed_peer_reports_reset_without_a_signal) {
    int pair[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
    platform::unique_socket a(pair[0]);
    ::close(pair[1]);
    std::error_code ec;
    platform::send(a.get(), "x", 1, ec);  // SIGPIPE would end the test program
    EXPECT_EQ(ec.value(), 10054);
}

TEST_F(socket_layer, connection_dropped_before_accept_reports_reset) {
    // Linux says ECONNABORTED where the classic API says the waiting peer
    // reset its connection; a server takes either as "try the next one".
    corvid::test::sys_guard guard;
    corvid::test::fail_with(sys::calls().accept4, ECONNABORTED);
    sockaddr_in address{};
    auto server = listener(&address);
    std::error_code ec;
    auto accepted = platform::accept(server.get(), ec);
    EXPECT_EQ(ec.value(), 10054);
    EXPECT_FALSE(accepted.valid());
}

// Several threads wait through one waiter, as a server's idle workers do:
// each connection goes to exactly one of them, and a stop ends them all.
TEST_F(socket_layer, waiter_gives_each_connection_to_one_thread_and_the_stop_to_all) {
    sockaddr_in address{};
    auto listening = listener(&address);
    int stop[2];
    ASSERT_EQ(::pipe(stop), 0);
    platform::connection_waiter waiter;
    std::error_code ec;
    const platform::native_socket listeners[] = {listening.get()};
    waiter.open(stop[0], listeners, 1, ec);
    ASSERT_FALSE(ec);
    EXPECT_EQ(waiter.wait(10, ec), platform::connection_waiter::timed_out);

    constexpr int threads = 3, connections = 5;
    std::atomic<int> taken{0}, spurious{0}, stopped{0};
    std::vector<std::thread> waiting;
    for (int i = 0; i < threads; ++i)
        waiting.emplace_back([&] {
            for (;;) {
                std::error_code wait_ec;
                const std::size_t ready = waiter.wait(5000, wait_ec);
                if (wait_ec || ready != 0) {
                    stopped += ready == platform::connection_waiter::stopped && !wait_ec;
                    return;
                }
                sockaddr_in peer{};
                socklen_t length = sizeof peer;
                std::error_code accept_ec;
                platform::unique_socket accepted =
                    platform::try_accept(listeners[0], reinterpret_cast<sockaddr*>(&peer), &length, accept_ec);
                ++(accepted.valid() ? taken : spurious);
                waiter.rearm(0, wait_ec);
            }
        });
    std::vector<platform::unique_socket> clients;
    for (int i = 0; i < connections; ++i) {
        clients.push_back(open(SOCK_STREAM));
        platform::connect(clients.back().get(), reinterpret_cast<sockaddr*>(&address), sizeof address, ec);
        ASSERT_FALSE(ec);
    }
    for (int i = 0; i < 500 && taken < connections; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(::write(stop[1], "x", 1), 1);
    for (auto& thread : waiting) thread.join();
    EXPECT_EQ(taken, connections);
    EXPECT_EQ(spurious, 0);
    EXPECT_EQ(stopped, threads);
    // Nothing waiting: no blocking on the listener, which the waiter made non-blocking.
    sockaddr_in peer{};
    socklen_t length = sizeof peer;
    EXPECT_FALSE(platform::try_accept(listeners[0], reinterpret_cast<sockaddr*>(&peer), &length, ec).valid());
    EXPECT_EQ(ec, platform::socket_errc::would_block);
    ::close(stop[0]);
    ::close(stop[1]);
}

TEST(socket_layer_stopped, every_call_fails_with_not_initialised) {
    ASSERT_FALSE(platform::started());
    std::error_code ec;
    auto handle = platform::open_socket(AF_INET, SOCK_STREAM, 0, ec);
    EXPECT_EQ(ec.value(), 10093);
    EXPECT_FALSE(handle.valid());
    char byte;
    platform::receive(0, &byte, 1, ec);
    EXPECT_EQ(ec.value(), 10093);

    // A descriptor still held when the subsystem stops is released anyway.
    platform::startup(ec);
    ASSERT_FALSE(ec);
    handle = platform::open_socket(AF_INET, SOCK_STREAM, 0, ec);
    int fd = handle.get();
    platform::cleanup(ec);
    handle.close(ec);
    EXPECT_EQ(ec.value(), 10093);
    EXPECT_EQ(::fcntl(fd, F_GETFD), -1);
}

}  // namespace
