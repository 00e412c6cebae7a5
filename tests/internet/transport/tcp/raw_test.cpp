// SPDX-License-Identifier: MIT
#include <corvid/internet/transport/tcp/raw.h>

#include "tests/support/loopback.h"
#include "tests/support/sys_fault.h"
#include "tests/support/throws.h"

#include <corvid/internet/environment/environment.h>
#include <corvid/internet/environment/startup.h>
#include <corvid/platform/subsystem.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <optional>
#include <vector>
#include <cstdint>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <thread>

namespace {

namespace env = corvid::internet::environment;
namespace sys = corvid::platform::sys;
using corvid::internet::address::endpoint;
using corvid::internet::address::ip4;
using corvid::internet::transport::tcp::raw;
using corvid::test::tcp_pair;
using corvid::test::what_of;
using tcp = corvid::internet::transport::tcp::base;

class tcp_raw : public ::testing::Test {
protected:
    env::startup scope;
};

// A port on host where nothing listens: one that was just given up.
endpoint closed_port(const std::string& host = "127.0.0.1") {
    raw probe;
    endpoint address = corvid::internet::address::resolve(host, 0).front();
    probe.open(address);
    probe.bind(address);
    probe.local_address(address);
    return address;
}

TEST_F(tcp_raw, connect_where_nothing_listens_is_refused) {
    endpoint target = closed_port();
    raw stream;
    stream.open(target);
    EXPECT_EQ(what_of<tcp::connection_failed>([&] { stream.connect(target); }),
              "internet.transport.connection_failed.connection_refused[connect() failed]");
}

TEST_F(tcp_raw, connect_with_a_time_out) {
    endpoint target = closed_port();
    raw refused;
    refused.open(target);
    EXPECT_EQ(what_of<tcp::connection_failed>([&] { refused.connect(target, 1000); }),
              "internet.transport.connection_failed.connection_refused[connect() failed]");

    tcp_pair pair;
    auto blocking = [](const raw& s) { return (::fcntl(s.socket_handle(), F_GETFL) & O_NONBLOCK) == 0; };
    raw stream;
    stream.open(pair.address);
    stream.connect(pair.address, 1000);
    EXPECT_TRUE(blocking(stream));

    // An attempt that never ends, as with a peer that drops every SYN.
    corvid::test::sys_guard guard;
    sys::calls().connect = [](int, const sockaddr*, socklen_t) {
        errno = EINPROGRESS;
        return -1;
    };
    sys::calls().poll = [](pollfd*, nfds_t, int timeout) {
        return sys::system_calls().poll(nullptr, 0, timeout);  // never ready
    };
    raw slow;
    slow.open(pair.address);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(what_of<tcp::connection_failed>([&] { slow.connect(pair.address, 100); }),
              "internet.transport.connection_failed.connection_timed_out[connect() failed]");
    auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(100));
    EXPECT_LT(waited, std::chrono::seconds(2));
    EXPECT_TRUE(blocking(slow));
}

// Endpoints are tried in turn: a refused one makes way at once, one that
// does not answer after the delay; when none connects, a refusal tells more
// than a time-out.
TEST_F(tcp_raw, connects_to_the_first_endpoint_that_answers) {
    CORVID_REQUIRE_IPV6_LOOPBACK();
    corvid::test::silent_port silent;
    if (!silent.made) GTEST_SKIP() << "cannot make a loopback port that leaves connects unanswered";
    tcp_pair live;
    const endpoint refused = closed_port("::1");
    using std::chrono::milliseconds;
    const std::string timed_out = "internet.transport.connection_failed.connection_timed_out[connect() failed]";
    const std::string refusal = "internet.transport.connection_failed.connection_refused[connect() failed]";
    struct attempt {
        const char* what;
        std::vector<endpoint> endpoints;
        int timeout_ms;
        std::string error;  // empty: connected to live
        milliseconds at_least, below;
    };
    const attempt attempts[] = {
        {"refused IPv6, then live IPv4", {refused, live.address}, 5000, "", milliseconds(0), milliseconds(200)},
        {"silent, then live after the delay", {silent.address, live.address}, 5000, "", milliseconds(250),
         milliseconds(2000)},
        {"refused only", {refused}, 5000, refusal, milliseconds(0), milliseconds(200)},
        {"refused and silent: the refusal", {refused, silent.address}, 400, refusal, milliseconds(400),
         milliseconds(2000)},
        {"silent only: the time-out", {silent.address}, 300, timed_out, milliseconds(300), milliseconds(2000)},
        {"nothing to try", {}, 1000, "internet.transport.address_not_valid[connect() given no address]",
         milliseconds(0), milliseconds(200)},
    };
    for (const attempt& a : attempts) {
        SCOPED_TRACE(a.what);
        raw stream;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(what_of<corvid::internet::transport::generic>([&] { stream.connect(a.endpoints, a.timeout_ms); }),
                  a.error.empty() ? "nothing thrown" : a.error);
        const auto waited = std::chrono::steady_clock::now() - start;
        EXPECT_GE(waited, a.at_least);
        EXPECT_LT(waited, a.below);
        if (!a.error.empty()) continue;
        endpoint peer;
        stream.peer_address(peer);
        EXPECT_EQ(peer, endpoint(live.address));
        EXPECT_EQ(::fcntl(stream.socket_handle(), F_GETFL) & O_NONBLOCK, 0);
    }
}

// Inside a network namespace of its own (see the CTest entry) an address
// beyond the loopback has no route: such a failure makes way for the next
// address at once, and tells less than a peer's refusal.
TEST(tcp_raw_without_routes, unroutable_address_makes_way_at_once) {
    if (std::getenv("CORVID_TEST_NETNS") == nullptr)
        GTEST_SKIP() << "runs only in the network namespace that its CTest entry makes";
    env::startup scope;
    tcp_pair live;
    const endpoint unroutable = corvid::internet::address::ip6("2001:db8::25", 25);
    const endpoint refused = closed_port();
    const std::string no_route = "internet.transport.connection_failed.network_unreachable[connect() failed]";
    const std::string refusal = "internet.transport.connection_failed.connection_refused[connect() failed]";
    const struct {
        std::vector<endpoint> endpoints;
        std::string error;
    } attempts[] = {
        {{unroutable, live.address}, "nothing thrown"},
        {{unroutable}, no_route},
        {{unroutable, refused}, refusal},
        {{refused, unroutable}, refusal},
    };
    for (const auto& a : attempts) {
        raw stream;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(what_of<corvid::internet::transport::generic>([&] { stream.connect(a.endpoints, 5000); }), a.error);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(200));
    }
}

// A listener on :: takes IPv4 clients as well unless told to take IPv6
// only; either way the addresses come in whole, an IPv4 client's mapped.
TEST_F(tcp_raw, ipv6_listener_dual_stack_or_v6_only) {
    CORVID_REQUIRE_IPV6_LOOPBACK();
    for (bool only : {false, true}) {
        SCOPED_TRACE(only ? "v6 only" : "dual stack");
        endpoint any = corvid::internet::address::ip6("::", 0);
        raw listener;
        listener.open(any);
        listener.set_v6_only(only);
        listener.bind(any);
        listener.listen();
        endpoint bound;
        EXPECT_EQ(listener.local_address(bound), 28);
        const endpoint via6 = corvid::internet::address::ip6("::1", bound.port());
        const endpoint via4 = ip4("127.0.0.1", bound.port());

        raw client6, server6;
        client6.connect(std::vector<endpoint>{via6}, 2000);
        server6.accept(listener);
        corvid::internet::address::ip6 peer6, local6;
        EXPECT_EQ(server6.peer_address(peer6), 28);
        client6.local_address(local6);
        EXPECT_EQ(peer6, local6);
        EXPECT_EQ(corvid::internet::address::literal(peer6), "[IPv6:::1]");

        raw client4;
        if (only) {
            EXPECT_EQ(what_of<tcp::connection_failed>([&] { client4.connect(std::vector<endpoint>{via4}, 2000); }),
                      "internet.transport.connection_failed.connection_refused[connect() failed]");
            continue;
        }
        client4.connect(std::vector<endpoint>{via4}, 2000);
        raw server4;
        server4.accept(listener);
        endpoint peer4;
        server4.peer_address(peer4);
        ASSERT_TRUE(peer4.is_ip6());
        ip4 local4;
        client4.local_address(local4);
        EXPECT_EQ(peer4.unmapped(), endpoint(local4));
        EXPECT_EQ(corvid::internet::address::literal(peer4), "[127.0.0.1]");
        // A record of the other family does not fit an ip4.
        ip4 wrong;
        EXPECT_EQ(what_of<corvid::internet::transport::generic>([&] { server4.peer_address(wrong); }),
                  "internet.transport[getpeername() returned address of incorrect size 28 (expected 16)]");
    }
}

TEST_F(tcp_raw, lines_cross_the_network_and_are_counted) {
    tcp_pair pair;
    ip4 local, peer;
    EXPECT_EQ(pair.client.local_address(local), 16);
    EXPECT_EQ(pair.server.peer_address(peer), 16);
    EXPECT_EQ(local, peer);
    EXPECT_EQ(peer.to_string(corvid::internet::address::numeric_host), "127.0.0.1");

    pair.client.write_line("EHLO client", true);
    pair.client.write("a\r", true);
    std::string line;
    pair.server.read_line(line);
    EXPECT_EQ(line, "EHLO client");
    pair.server.read_line(line);
    EXPECT_EQ(line, "a");
    pair.client.write("\nb\r\n", true);  // the LF ends no line of its own
    pair.server.read_line(line);
    EXPECT_EQ(line, "b");
    EXPECT_EQ(pair.client.bytes_sent(), 19u);
    EXPECT_EQ(pair.server.bytes_received(), 19u);
    EXPECT_EQ(pair.server.bytes_sent(), 0u);
}

// The accepted stream has the listener's time-out: the system copies it.
TEST_F(tcp_raw, receive_time_out) {
    tcp_pair pair;
    pair.listener.set_receive_timeout(200);
    raw client, server;
    client.open(pair.address);
    client.connect(pair.address);
    server.accept(pair.listener);
    EXPECT_EQ(server.receive_timeout(), 200);
    std::string line;
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(what_of<tcp::connection_failed>([&] { server.read_line(line); }),
              "internet.transport.connection_failed.connection_timed_out[recv() failed]");
    auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(150));
    EXPECT_LT(waited, std::chrono::seconds(5));
}

TEST_F(tcp_raw, deadline_ends_a_receive_whatever_the_receive_time_out) {
    using std::chrono::milliseconds;
    tcp_pair pair;
    std::string line;
    auto start = tcp::clock::now();
    pair.server.set_deadline(start + milliseconds(100));
    EXPECT_EQ(what_of<tcp::connection_failed>([&] { pair.server.read_line(line); }),
              "internet.transport.connection_failed.connection_timed_out[recv() failed]");
    auto waited = tcp::clock::now() - start;
    EXPECT_GE(waited, milliseconds(100));
    EXPECT_LT(waited, std::chrono::seconds(2));

    // Once the deadline has passed, bytes waiting make no difference.
    pair.client.write_line("one", true);
    pair.server.set_deadline(tcp::clock::now() - milliseconds(1));
    EXPECT_THROW(pair.server.read_line(line), tcp::connection_timed_out);
    pair.server.set_deadline(tcp::clock::now() + std::chrono::seconds(5));
    pair.server.read_line(line);
    EXPECT_EQ(line, "one");
}

TEST_F(tcp_raw, deadline_ends_a_send_that_finds_no_room) {
    tcp_pair pair;
    pair.client.set_send_buffer_size(4096);
    const std::string block(32 << 20, 'm');  // more than the server's unread side holds
    pair.client.set_deadline(tcp::clock::now() - std::chrono::milliseconds(1));
    EXPECT_THROW(pair.client.send_all(block.data(), 1), tcp::connection_timed_out);
    EXPECT_EQ(pair.client.bytes_sent(), 0u);

    auto start = tcp::clock::now();
    pair.client.set_deadline(start + std::chrono::milliseconds(100));
    EXPECT_EQ(what_of<tcp::connection_failed>([&] { pair.client.send_all(block.data(), block.size()); }),
              "internet.transport.connection_failed.connection_timed_out[send() failed]");
    auto waited = tcp::clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(100));
    EXPECT_LT(waited, std::chrono::seconds(2));
    EXPECT_GT(pair.client.bytes_sent(), 0u);
    EXPECT_LT(pair.client.bytes_sent(), block.size());
}

TEST_F(tcp_raw, failing_poll_is_reported_as_the_receive_or_send) {
    tcp_pair pair;
    corvid::test::sys_guard guard;
    corvid::test::fail_with(sys::calls().poll, ENOMEM);
    pair.server.set_deadline(tcp::clock::now() + std::chrono::seconds(5));
    char byte;
    EXPECT_EQ(what_of<corvid::internet::transport::generic>([&] { pair.server.receive_some(&byte, 1); }),
              "internet.transport[recv() returned status 0x00000008]");
    sys::calls().send = [](int, const void*, std::size_t, int) -> ssize_t {
        errno = EAGAIN;
        return -1;
    };
    pair.client.set_deadline(tcp::clock::now() + std::chrono::seconds(5));
    EXPECT_EQ(what_of<corvid::internet::transport::generic>([&] { pair.client.send_all("x", 1); }),
              "internet.transport[send() returned status 0x00000008]");
}

TEST_F(tcp_raw, peer_closing_while_read_line_waits) {
    tcp_pair pair;
    pair.client.write("no line end", true);
    std::thread closer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        pair.client.close();
    });
    std::string line;
    std::string what = what_of<corvid::exception>([&] { pair.server.read_line(line); });
    closer.join();
    EXPECT_EQ(what, "internet.transport.connection_failed.connection_closed[recv() failed]");
    EXPECT_TRUE(line.empty());
}

// A send that counts its calls and takes at most send_limit bytes a call.
int sends = 0;
std::size_t send_limit = 0;

ssize_t counted_send(int fd, const void* data, std::size_t size, int flags) {
    ++sends;
    return sys::system_calls().send(fd, data, size < send_limit ? size : send_limit, flags);
}

void count_sends(std::size_t limit) {
    sends = 0;
    send_limit = limit;
    sys::calls().send = counted_send;
}

TEST_F(tcp_raw, flushing_write_line_is_one_send) {
    tcp_pair pair;
    corvid::test::sys_guard guard;
    count_sends(SIZE_MAX);
    pair.client.write_line("QUIT", true);
    EXPECT_EQ(sends, 1);
    char buffer[16];
    EXPECT_EQ(pair.server.receive_some(buffer, sizeof buffer), 6u);
    EXPECT_EQ(std::string(buffer, 6), "QUIT\r\n");

    pair.client.write("RSET", false);
    EXPECT_EQ(sends, 1);
    pair.client.write_line("", true);
    EXPECT_EQ(sends, 2);
    std::string text;
    pair.server.read(text);
    EXPECT_EQ(text, "RSET\r\n");
}

TEST_F(tcp_raw, partial_sends_are_repeated_until_done) {
    tcp_pair pair;
    corvid::test::sys_guard guard;
    count_sends(3);
    pair.client.send_all("0123456789", 10);
    EXPECT_EQ(sends, 4);
    EXPECT_EQ(pair.client.bytes_sent(), 10u);
    std::string text;
    while (text.size() < 10) {
        char buffer[16];
        text.append(buffer, pair.server.receive_some(buffer, sizeof buffer));
    }
    EXPECT_EQ(text, "0123456789");
}

TEST_F(tcp_raw, send_that_takes_nothing_is_a_closed_connection) {
    tcp_pair pair;
    corvid::test::sys_guard guard;
    sys::calls().send = [](int, const void*, std::size_t, int) -> ssize_t { return 0; };
    EXPECT_EQ(what_of<tcp::connection_failed>([&] { pair.client.write_line("QUIT", true); }),
              "internet.transport.connection_failed.connection_closed[send() failed]");
    // The failed flush dropped its output: the next one sends only new bytes.
    sys::calls().send = sys::system_calls().send;
    pair.client.write_line("NOOP", true);
    std::string line;
    pair.server.read_line(line);
    EXPECT_EQ(line, "NOOP");
}

TEST_F(tcp_raw, large_send_to_a_slow_reader_with_a_small_send_buffer) {
    tcp_pair pair;
    pair.client.set_send_buffer_size(4096);
    const std::string block(256 * 1024, 'm');
    std::size_t got = 0;
    std::thread reader([&] {
        try {
            char buffer[1024];
            while (got < block.size()) {
                got += pair.server.receive_some(buffer, sizeof buffer);
                if (got % 65536 < 1024) std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        } catch (const corvid::exception&) {
            pair.server.close();  // so that the sender cannot wait for ever
        }
    });
    std::string failure = what_of<corvid::exception>([&] { pair.client.send_all(block.data(), block.size()); });
    reader.join();
    EXPECT_EQ(failure, "nothing thrown");
    EXPECT_EQ(got, block.size());
    EXPECT_EQ(pair.client.bytes_sent(), block.size());
    EXPECT_EQ(pair.server.bytes_received(), block.size());
}

TEST_F(tcp_raw, unopened_and_unconnected_sockets_close_quietly) {
    {
        raw never_opened;
        EXPECT_NO_THROW(never_opened.shutdown());
        EXPECT_NO_THROW(never_opened.close());
        EXPECT_NO_THROW(never_opened.close());
    }
    raw unconnected;
    unconnected.open(ip4());
    int fd = unconnected.socket_handle();
    ip4 peer;
    EXPECT_EQ(what_of<tcp::connection_failed>([&] { unconnected.peer_address(peer); }),
              "internet.transport.connection_failed[getpeername() failed]");
    EXPECT_NO_THROW(unconnected.shutdown());
    EXPECT_EQ(unconnected.socket_handle(), corvid::platform::invalid_socket);
    EXPECT_EQ(::fcntl(fd, F_GETFD), -1);
}

TEST_F(tcp_raw, opening_again_gives_up_the_old_socket) {
    raw stream;
    stream.open(ip4());
    int first = stream.socket_handle();
    stream.open(ip4());
    EXPECT_NE(stream.socket_handle(), first);
    EXPECT_EQ(::fcntl(first, F_GETFD), -1);
}

TEST_F(tcp_raw, failed_close_still_gives_up_the_socket) {
    raw stream;
    stream.open(ip4());
    corvid::test::sys_guard guard;
    sys::calls().close = [](int fd) {
        sys::system_calls().close(fd);
        errno = EIO;
        return -1;
    };
    EXPECT_EQ(what_of<corvid::internet::transport::generic>([&] { stream.close(); }),
              "internet.transport[closesocket() returned status 0x20000005]");
    EXPECT_EQ(stream.socket_handle(), corvid::platform::invalid_socket);
}

TEST_F(tcp_raw, address_of_the_wrong_size_is_reported) {
    tcp_pair pair;
    corvid::test::sys_guard guard;
    sys::calls().getsockname = [](int, sockaddr*, socklen_t* length) {
        *length = 8;
        return 0;
    };
    ip4 local;
    EXPECT_EQ(what_of<corvid::internet::transport::generic>([&] { pair.client.local_address(local); }),
              "internet.transport[getsockname() returned address of incorrect size 8 (expected 16)]");
}

TEST_F(tcp_raw, after_cleanup_operations_fail_and_destruction_stays_quiet) {
    ip4 target("127.0.0.1", 9);
    try {
        raw stream;
        stream.open(target);
        env::cleanup();
        EXPECT_EQ(what_of<env::subsystem_failed>([&] { stream.connect(target); }),
                  "internet.environment.subsystem_failed[connect() failed]");
        throw std::runtime_error("unwinding");  // ~raw runs during unwinding
    } catch (const std::runtime_error&) {
    }
    std::error_code restarted;
    corvid::platform::startup(restarted);  // for the fixture's scope to stop
}

}  // namespace
