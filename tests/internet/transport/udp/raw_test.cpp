// SPDX-License-Identifier: MIT
#include <corvid/internet/transport/udp/raw.h>

#include "tests/support/loopback.h"
#include "tests/support/sys_fault.h"
#include "tests/support/throws.h"

#include <corvid/internet/address/endpoint.h>
#include <corvid/internet/environment/startup.h>

#include <gtest/gtest.h>

#include <chrono>

namespace {

namespace env = corvid::internet::environment;
namespace sys = corvid::platform::sys;
using corvid::internet::address::ip4;
using corvid::internet::transport::udp::raw;
using corvid::test::what_of;

// A receiver bound to 127.0.0.1 with an ephemeral port and a sender, both
// with a receive time-out so that no test waits for ever.
class udp_raw : public ::testing::Test {
protected:
    void SetUp() override {
        ip4 any("127.0.0.1", 0);
        receiver.open(any);
        receiver.bind(any);
        ::getsockname(receiver.socket_handle(), address.data(), &length);
        receiver.set_receive_timeout(2000);
        sender.open(any);
        sender.bind(any);
    }

    env::startup scope;
    raw receiver, sender;
    ip4 address;
    socklen_t length = 16;
};

TEST_F(udp_raw, datagram_of_the_reserved_size_arrives_whole) {
    EXPECT_EQ(sender.max_message_size(), 65507);
    std::string buffer;
    buffer.reserve(1000);
    std::size_t capacity = buffer.capacity();
    std::string data(capacity, 'd');
    data[0] = '\0';
    EXPECT_EQ(sender.send_to(address, data), capacity);
    ip4 from;
    receiver.receive_from(from, buffer);
    EXPECT_EQ(buffer, data);
    ip4 sender_address;
    ::getsockname(sender.socket_handle(), sender_address.data(), &length);
    EXPECT_EQ(from, sender_address);
    EXPECT_EQ(receiver.bytes_received(), capacity);
    EXPECT_EQ(sender.bytes_sent(), capacity);
}

TEST_F(udp_raw, longer_datagram_than_the_capacity_is_truncated) {
    std::string buffer;  // only its default capacity
    std::size_t capacity = buffer.capacity();
    sender.send_to(address, std::string(capacity + 1, 'x'));
    ip4 from;
    EXPECT_EQ(what_of<raw::operation_failed>([&] { receiver.receive_from(from, buffer); }),
              "internet.transport.operation_failed.message_truncated[recvfrom() failed]");
    EXPECT_EQ(buffer.size(), capacity);
    EXPECT_EQ(receiver.bytes_received(), 0u);
}

TEST_F(udp_raw, empty_datagram) {
    EXPECT_EQ(sender.send_to(address, ""), 0u);
    std::string buffer = "old";
    ip4 from;
    receiver.receive_from(from, buffer);
    EXPECT_TRUE(buffer.empty());
    EXPECT_NE(from.port(), 0);
}

TEST_F(udp_raw, receive_time_out) {
    receiver.set_receive_timeout(200);
    std::string buffer;
    ip4 from;
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(what_of<raw::operation_failed>([&] { receiver.receive_from(from, buffer); }),
              "internet.transport.operation_failed.operation_timed_out[recvfrom() failed]");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

TEST_F(udp_raw, datagram_beyond_the_largest_is_refused_by_the_system) {
    EXPECT_EQ(what_of<raw::message_truncated>([&] { sender.send_to(address, std::string(65508, 'x')); }),
              "internet.transport.operation_failed.message_truncated[sendto() failed]");
    EXPECT_EQ(sender.bytes_sent(), 0u);
}

TEST_F(udp_raw, short_send_and_wrong_address_size_are_reported) {
    corvid::test::sys_guard guard;
    sys::calls().sendto = [](int, const void*, std::size_t size, int, const sockaddr*, socklen_t) -> ssize_t {
        return static_cast<ssize_t>(size) - 1;
    };
    EXPECT_EQ(what_of<raw::message_truncated>([&] { sender.send_to(address, "ab"); }),
              "internet.transport.operation_failed.message_truncated[sendto() failed]");
    sys::calls().recvfrom = [](int, void*, std::size_t, int, sockaddr*, socklen_t* length) -> ssize_t {
        *length = 8;
        return 1;
    };
    std::string buffer;
    ip4 from;
    EXPECT_EQ(what_of<corvid::internet::transport::generic>([&] { receiver.receive_from(from, buffer); }),
              "internet.transport[recvfrom() returned address of incorrect size 8 (expected 16)]");
}

// Datagrams over IPv6 name their sender whole, in an ip6 or in an endpoint.
TEST_F(udp_raw, datagrams_over_ipv6) {
    CORVID_REQUIRE_IPV6_LOOPBACK();
    namespace address = corvid::internet::address;
    address::ip6 here("::1", 0);
    raw receiver6, sender6;
    receiver6.open(here);
    receiver6.bind(here);
    receiver6.set_receive_timeout(2000);
    address::endpoint to = here;
    length = sizeof(sockaddr_in6);
    ::getsockname(receiver6.socket_handle(), to.data(), &length);
    sender6.open(here);
    sender6.bind(here);
    EXPECT_EQ(sender6.max_message_size(), 65527);
    address::ip6 sender_address;
    length = sizeof(sockaddr_in6);
    ::getsockname(sender6.socket_handle(), sender_address.data(), &length);

    std::string buffer;
    buffer.reserve(100);
    EXPECT_EQ(sender6.send_to(to, "one"), 3u);
    address::ip6 from6;
    receiver6.receive_from(from6, buffer);
    EXPECT_EQ(buffer, "one");
    EXPECT_EQ(from6, sender_address);

    EXPECT_EQ(sender6.send_to(to, "two"), 3u);
    address::endpoint from;
    buffer.reserve(100);
    receiver6.receive_from(from, buffer);
    EXPECT_EQ(buffer, "two");
    EXPECT_EQ(from, address::endpoint(sender_address));
}

}  // namespace
