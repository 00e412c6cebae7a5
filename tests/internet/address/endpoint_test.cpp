// SPDX-License-Identifier: MIT
#include <corvid/internet/address/endpoint.h>

#include "tests/support/sys_fault.h"
#include "tests/support/throws.h"

#include <corvid/internet/environment/startup.h>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cstring>
#include <string_view>

namespace {

namespace address = corvid::internet::address;
namespace env = corvid::internet::environment;
namespace sys = corvid::platform::sys;
using address::endpoint;
using address::ip4;
using address::ip6;
using corvid::test::what_of;

class endpoint_test : public ::testing::Test {
protected:
    env::startup scope;
    corvid::test::sys_guard guard;
};

// Numeric text in, endpoint, and text out again: the resolver's list, the
// single-family types and the service form all agree.
TEST_F(endpoint_test, numeric_forms_round_trip) {
    struct form {
        const char* host;
        std::uint16_t port;
        const char* text;     // numeric_text
        const char* literal;  // as in a greeting or a trace line
    };
    const form forms[] = {
        {"127.0.0.1", 25, "127.0.0.1:25", "[127.0.0.1]"},
        {"0.0.0.0", 0, "0.0.0.0:0", "[0.0.0.0]"},
        {"::1", 2525, "[::1]:2525", "[IPv6:::1]"},
        {"::", 65535, "[::]:65535", "[IPv6:::]"},
        {"2001:DB8:0:0::7", 587, "[2001:db8::7]:587", "[IPv6:2001:db8::7]"},
        // An IPv4 client of a dual-stack socket is written as IPv4 in mail.
        {"::ffff:192.0.2.7", 25, "[::ffff:192.0.2.7]:25", "[192.0.2.7]"},
    };
    for (const form& f : forms) {
        SCOPED_TRACE(f.host);
        const std::vector<endpoint> found = address::resolve(f.host, f.port);
        ASSERT_EQ(found.size(), 1u);
        const endpoint& e = found.front();
        EXPECT_EQ(address::numeric_text(e), f.text);
        EXPECT_EQ(address::literal(e), f.literal);
        EXPECT_EQ(e.port(), f.port);
        EXPECT_EQ(address::resolve(f.host, std::to_string(f.port)).front(), e);
        if (e.is_ip6()) {
            EXPECT_EQ(e.size(), 28);
            EXPECT_EQ(e, endpoint(ip6(f.host, f.port)));
            const std::string_view bracketed(f.text);
            EXPECT_EQ(ip6(f.host, f.port).to_string(address::numeric_host),
                      bracketed.substr(1, bracketed.rfind(']') - 1));
        } else {
            EXPECT_EQ(e.size(), 16);
            EXPECT_EQ(e, endpoint(ip4(f.host, f.port)));
        }
    }
}

// A link-local address keeps the interface it is reached through, in the
// record and in the text, but not in a mail literal, which has no place
// for it.
TEST_F(endpoint_test, scope_of_a_link_local_address) {
    const ip6 scoped("fe80::1%1", 25);
    EXPECT_EQ(scoped.scope_id(), 1u);
    EXPECT_NE(scoped, ip6("fe80::1", 25));
    EXPECT_TRUE(address::numeric_text(scoped).starts_with("[fe80::1%")) << address::numeric_text(scoped);
    EXPECT_EQ(address::literal(scoped), "[IPv6:fe80::1]");
}

TEST_F(endpoint_test, ip6_fails_as_ip4_does) {
    const ip6 none;
    EXPECT_EQ(none.port(), 0);
    EXPECT_EQ(none, ip6());
    EXPECT_EQ(none.to_string(address::numeric_host), "::");
    EXPECT_FALSE(none.is_v4_mapped());
    EXPECT_TRUE(ip6("::ffff:127.0.0.1", 0).is_v4_mapped());
    EXPECT_EQ(what_of<address::generic>([] { ip6("127.0.0.1", 25); }), "internet.address[GetAddrInfoA() walk failed]");
    EXPECT_EQ(what_of<address::host_not_found>([] { ip6("mail.example.invalid", 25); }),
              "internet.address.host_not_found[GetAddrInfoA() failed]");
    EXPECT_EQ(what_of<address::service_not_found>([] { ip6("::1", "99999"); }),
              "internet.address.service_not_found[GetAddrInfoA() failed]");
    EXPECT_EQ(what_of<address::host_not_found>([] { ip6(std::string("::1\0.example", 12), 25); }),
              "internet.address.host_not_found[GetAddrInfoA() failed]");
    ip6 kept("::1", 25);
    const unsigned char raw[16] = {};
    EXPECT_EQ(what_of<address::invalid_address_format>([&] { kept.assign(raw, sizeof raw); }),
              "internet.address.invalid_address_format[Size mismatch]");
    EXPECT_EQ(kept, ip6("::1", 25));
}

TEST(endpoint_stopped, resolving_before_start_up_is_not_ready) {
    EXPECT_EQ(what_of<env::subsystem_not_ready>([] { address::resolve("::1", 25); }),
              "internet.environment.subsystem_not_ready[GetAddrInfoA() failed]");
    EXPECT_EQ(what_of<env::subsystem_not_ready>([] { ip6().to_string(0); }),
              "internet.environment.subsystem_not_ready[GetNameInfoA() failed]");
}

// The record takes the family of its length; other lengths change nothing.
TEST_F(endpoint_test, assign_takes_either_family) {
    endpoint e;
    EXPECT_EQ(e, endpoint(ip4()));
    const ip6 six("::1", 80);
    e.assign(six.data(), six.size());
    EXPECT_TRUE(e.is_ip6());
    EXPECT_EQ(e.port(), 80);
    const unsigned char raw[20] = {};
    EXPECT_EQ(what_of<address::invalid_address_format>([&] { e.assign(raw, sizeof raw); }),
              "internet.address.invalid_address_format[Size mismatch]");
    EXPECT_EQ(e, endpoint(six));
    const ip4 four("127.0.0.1", 25);
    e.assign(four.data(), four.size());
    EXPECT_EQ(e, endpoint(four));
    EXPECT_EQ(e.unmapped(), e);
}

// A made-up resolver answer: an IPv6 address, an IPv4 one, the IPv6 one
// again (as for another socket type) and an IPv4 entry of the wrong length.
struct answer {
    sockaddr_in6 v6{};
    sockaddr_in v4{};
    addrinfo nodes[4]{};

    explicit answer(bool with_v6 = true) {
        v6.sin6_family = AF_INET6;
        v6.sin6_port = htons(9);
        ::inet_pton(AF_INET6, "2001:db8::1", &v6.sin6_addr);
        v4.sin_family = AF_INET;
        ::inet_pton(AF_INET, "192.0.2.7", &v4.sin_addr);
        auto* six = reinterpret_cast<sockaddr*>(&v6);
        auto* four = reinterpret_cast<sockaddr*>(&v4);
        nodes[0] = {0, AF_INET6, SOCK_STREAM, 0, sizeof v6, six, nullptr, &nodes[1]};
        nodes[1] = {0, AF_INET, SOCK_STREAM, 0, sizeof v4, four, nullptr, &nodes[2]};
        nodes[2] = {0, AF_INET6, SOCK_DGRAM, 0, sizeof v6, six, nullptr, &nodes[3]};
        nodes[3] = {0, AF_INET, SOCK_STREAM, 0, 8, four, nullptr, nullptr};
        if (!with_v6) nodes[0].ai_family = nodes[2].ai_family = AF_UNIX;
    }
};

answer* current = nullptr;
int freed = 0;

TEST_F(endpoint_test, resolve_keeps_the_resolver_order_once_each) {
    sys::calls().getaddrinfo = [](const char*, const char*, const addrinfo*, addrinfo** result) {
        *result = current->nodes;
        return 0;
    };
    sys::calls().freeaddrinfo = [](addrinfo*) { ++freed; };
    answer both;
    current = &both;
    freed = 0;
    auto texts = [](const std::vector<endpoint>& found) {
        std::vector<std::string> out;
        for (const endpoint& e : found) out.push_back(address::numeric_text(e));
        return out;
    };
    using list = std::vector<std::string>;
    EXPECT_EQ(texts(address::resolve("mixed.test", 25)), list({"[2001:db8::1]:25", "192.0.2.7:25"}));
    EXPECT_EQ(texts(address::resolve("mixed.test", "smtp")), list({"[2001:db8::1]:9", "192.0.2.7:0"}));
    EXPECT_EQ(texts(address::resolve("mixed.test", 25, address::family::ip4)), list({"192.0.2.7:25"}));
    EXPECT_EQ(texts(address::resolve("mixed.test", 25, address::family::ip6)), list({"[2001:db8::1]:25"}));
    answer v4_only(false);
    current = &v4_only;
    EXPECT_EQ(what_of<address::generic>([] { address::resolve("v4only.test", 25, address::family::ip6); }),
              "internet.address[GetAddrInfoA() walk failed]");
    EXPECT_EQ(freed, 5);
}

}  // namespace
