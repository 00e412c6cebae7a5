// SPDX-License-Identifier: MIT
#include <corvid/internet/address/ip4.h>

#include "tests/support/sys_fault.h"
#include "tests/support/throws.h"

#include <corvid/internet/environment/startup.h>
#include <corvid/platform/subsystem.h>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cstring>

namespace {

namespace address = corvid::internet::address;
namespace env = corvid::internet::environment;
namespace sys = corvid::platform::sys;
using address::ip4;
using corvid::test::what_of;

class ip4_test : public ::testing::Test {
protected:
    env::startup scope;
    corvid::test::sys_guard guard;
};

TEST_F(ip4_test, numeric_host_and_port) {
    ip4 a("127.0.0.1", 25);
    EXPECT_EQ(a.port(), 25);
    EXPECT_EQ(a.size(), 16);
    EXPECT_EQ(a.data()->sa_family, AF_INET);
    EXPECT_EQ(reinterpret_cast<const sockaddr_in*>(a.data())->sin_addr.s_addr, htonl(INADDR_LOOPBACK));
    EXPECT_EQ(a.to_string(address::numeric_host), "127.0.0.1");
    EXPECT_EQ(ip4("localhost", 25), a);
}

TEST_F(ip4_test, service_gives_the_port) {
    EXPECT_EQ(ip4("127.0.0.1", "smtp").port(), 25);
    EXPECT_EQ(ip4("127.0.0.1", "2525").port(), 2525);
    EXPECT_EQ(ip4("127.0.0.1", "smtp"), ip4("127.0.0.1", 25));
    EXPECT_EQ(what_of<address::service_not_found>([] { ip4("127.0.0.1", "no-such-service"); }),
              "internet.address.service_not_found[GetAddrInfoA() failed]");
    // The system's resolver would quietly wrap this round to port 34463.
    EXPECT_EQ(what_of<address::service_not_found>([] { ip4("127.0.0.1", "99999"); }),
              "internet.address.service_not_found[GetAddrInfoA() failed]");
}

TEST_F(ip4_test, unknown_host_is_not_found) {
    EXPECT_EQ(what_of<address::host_not_found>([] { ip4("mail.example.invalid", 25); }),
              "internet.address.host_not_found[GetAddrInfoA() failed]");
}

// The resolver reads C strings: a NUL byte would make it resolve only the
// text before it, here the loopback address and the SMTP port.
TEST_F(ip4_test, names_with_a_nul_byte_name_nothing) {
    const std::string host("127.0.0.1\0.example", 19);
    EXPECT_EQ(what_of<address::host_not_found>([&] { ip4(host, 25); }),
              "internet.address.host_not_found[GetAddrInfoA() failed]");
    const std::string service("25\0", 3);
    EXPECT_EQ(what_of<address::service_not_found>([&] { ip4("127.0.0.1", service); }),
              "internet.address.service_not_found[GetAddrInfoA() failed]");
}

TEST(ip4_stopped, resolving_before_start_up_is_not_ready) {
    EXPECT_EQ(what_of<env::subsystem_not_ready>([] { ip4("127.0.0.1", 25); }),
              "internet.environment.subsystem_not_ready[GetAddrInfoA() failed]");
    EXPECT_EQ(what_of<env::subsystem_not_ready>([] { ip4().to_string(0); }),
              "internet.environment.subsystem_not_ready[GetNameInfoA() failed]");
}

// A made-up resolver: its answer is the list below, its status fake_status.
int fake_status = 0;
int lists_freed = 0;
addrinfo* fake_list = nullptr;

int fake_lookup(const char*, const char*, const addrinfo*, addrinfo** result) {
    *result = fake_status == 0 ? fake_list : nullptr;
    return fake_status;
}

struct entries {
    sockaddr_in6 v6{};
    sockaddr_in short_v4{};
    sockaddr_in v4{};
    addrinfo nodes[3]{};

    // IPv6 first, then an IPv4 entry of the wrong length, then 192.0.2.7:80.
    explicit entries(int count) {
        v6.sin6_family = AF_INET6;
        short_v4.sin_family = AF_INET;
        v4.sin_family = AF_INET;
        v4.sin_port = htons(80);
        v4.sin_addr.s_addr = htonl(0xc0000207);
        nodes[0] = {0, AF_INET6, SOCK_STREAM, 0, sizeof v6, reinterpret_cast<sockaddr*>(&v6), nullptr, nullptr};
        nodes[1] = {0, AF_INET, SOCK_STREAM, 0, 8, reinterpret_cast<sockaddr*>(&short_v4), nullptr, nullptr};
        nodes[2] = {0, AF_INET, SOCK_STREAM, 0, sizeof v4, reinterpret_cast<sockaddr*>(&v4), nullptr, nullptr};
        for (int i = 0; i + 1 < count; ++i) nodes[i].ai_next = &nodes[i + 1];
    }
};

void use_fake_resolver(entries* list, int status) {
    fake_list = list == nullptr ? nullptr : list->nodes;
    fake_status = status;
    lists_freed = 0;
    sys::calls().getaddrinfo = fake_lookup;
    sys::calls().freeaddrinfo = [](addrinfo* freed) {
        EXPECT_EQ(freed, fake_list);
        ++lists_freed;
    };
}

TEST_F(ip4_test, name_with_only_ipv6_addresses_fails_the_walk_and_frees_the_list) {
    entries list(2);  // the IPv6 entry and the one of the wrong length
    use_fake_resolver(&list, 0);
    EXPECT_EQ(what_of<address::generic>([] { ip4("v6only.test", 25); }),
              "internet.address[GetAddrInfoA() walk failed]");
    EXPECT_EQ(lists_freed, 1);
}

TEST_F(ip4_test, walk_takes_the_first_usable_ipv4_entry) {
    entries list(3);
    use_fake_resolver(&list, 0);
    ip4 by_port("mixed.test", 25);
    EXPECT_EQ(by_port.port(), 25);  // the given port replaces the resolver's
    EXPECT_EQ(by_port.to_string(address::numeric_host), "192.0.2.7");
    ip4 by_service("mixed.test", "http");
    EXPECT_EQ(by_service.port(), 80);
    EXPECT_EQ(lists_freed, 2);
}

TEST_F(ip4_test, resolver_status_picks_the_class) {
    auto resolving = [] { ip4("any.test", 25); };
    use_fake_resolver(nullptr, EAI_NODATA);
    EXPECT_EQ(what_of<address::host_not_found>(resolving),
              "internet.address.host_not_found[GetAddrInfoA() failed]");
    use_fake_resolver(nullptr, EAI_NONAME);
    EXPECT_EQ(what_of<address::host_not_found>(resolving),
              "internet.address.host_not_found[GetAddrInfoA() failed]");
    use_fake_resolver(nullptr, EAI_SERVICE);
    EXPECT_EQ(what_of<address::service_not_found>(resolving),
              "internet.address.service_not_found[GetAddrInfoA() failed]");
    use_fake_resolver(nullptr, EAI_AGAIN);
    EXPECT_EQ(what_of<address::generic>(resolving), "internet.address[GetAddrInfoA() returned status 0x00002afa]");
    EXPECT_EQ(lists_freed, 0);  // a failed lookup returns no list
}

TEST_F(ip4_test, default_addresses_and_comparison) {
    ip4 a, b;
    EXPECT_EQ(a.port(), 0);
    EXPECT_TRUE(a == b);
    EXPECT_FALSE(a != b);
    EXPECT_EQ(a.to_string(address::numeric_host), "0.0.0.0");

    sockaddr_in raw{};
    raw.sin_family = AF_INET;
    raw.sin_zero[3] = 1;  // differs only in the padding
    b.assign(&raw, sizeof raw);
    EXPECT_TRUE(a != b);
    EXPECT_FALSE(a == b);
}

TEST_F(ip4_test, assign_of_the_wrong_size_changes_nothing) {
    ip4 a("127.0.0.1", 25);
    ip4 before = a;
    unsigned char raw[28] = {};
    EXPECT_EQ(what_of<address::invalid_address_format>([&] { a.assign(raw, sizeof raw); }),
              "internet.address.invalid_address_format[Size mismatch]");
    EXPECT_EQ(a, before);
    a.assign(raw, 16);  // the family is not examined
    EXPECT_EQ(a.data()->sa_family, 0);
}

int name_status = 0;

TEST_F(ip4_test, reverse_lookup_falls_back_to_numeric_text) {
    // No reverse name: only numeric requests succeed.
    sys::calls().getnameinfo = [](const sockaddr* a, socklen_t n, char* host, socklen_t size, char* s,
                                  socklen_t ss, int flags) {
        if ((flags & NI_NUMERICHOST) == 0) return EAI_NONAME;
        return sys::system_calls().getnameinfo(a, n, host, size, s, ss, flags);
    };
    EXPECT_EQ(ip4("127.0.0.1", 25).to_string(0), "127.0.0.1");

    sys::calls().getnameinfo = [](const sockaddr*, socklen_t, char*, socklen_t, char*, socklen_t, int) {
        return name_status;
    };
    ip4 a;
    name_status = EAI_NONAME;
    EXPECT_EQ(what_of<address::host_not_found>([&] { a.to_string(0); }),
              "internet.address.host_not_found[GetNameInfoA() failed]");
    name_status = EAI_NODATA;
    EXPECT_EQ(what_of<address::host_not_found>([&] { a.to_string(0); }),
              "internet.address.host_not_found[GetNameInfoA() failed]");
    name_status = EAI_FAIL;
    EXPECT_EQ(what_of<address::generic>([&] { a.to_string(0); }),
              "internet.address[GetNameInfoA() returned status 0x00002afb]");
}

}  // namespace
