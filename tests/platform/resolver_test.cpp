// SPDX-License-Identifier: MIT
#include <corvid/platform/resolver.h>

#include "tests/support/sys_fault.h"

#include <corvid/platform/subsystem.h>

#include <gtest/gtest.h>

#include <cstring>
#include <net/if.h>
#include <netinet/in.h>

namespace {

namespace platform = corvid::platform;
namespace sys = corvid::platform::sys;

class resolver : public ::testing::Test {
protected:
    void SetUp() override {
        platform::startup(ec);
        ASSERT_FALSE(ec);
    }
    void TearDown() override { platform::cleanup(ec); }
    corvid::test::sys_guard guard;
    std::error_code ec;
};

// The code a lookup reports; its list must be empty on failure.
int lookup(const char* host, const char* service) {
    std::error_code ec;
    const platform::address_info_list list = platform::get_address_info(host, service, nullptr, ec);
    EXPECT_EQ(list == nullptr, bool(ec)) << host;
    return ec.value();
}

int lookups = 0;

int counting_lookup(const char*, const char*, const addrinfo*, addrinfo** result) {
    ++lookups;
    *result = nullptr;
    return EAI_NONAME;
}

TEST_F(resolver, reserved_invalid_names_fail_without_a_lookup) {
    sys::calls().getaddrinfo = counting_lookup;
    lookups = 0;
    for (const char* name : {"mail.invalid", "INVALID", "a.b.Invalid.", "invalid."})
        EXPECT_EQ(lookup(name, nullptr), 11001) << name;
    EXPECT_EQ(lookups, 0);
    // Only the whole last label counts.
    lookup("notinvalid", nullptr);
    lookup("invalid.example", nullptr);
    EXPECT_EQ(lookups, 2);
}

TEST_F(resolver, numeric_service_beyond_the_port_range_is_not_found) {
    EXPECT_EQ(lookup("127.0.0.1", "65536"), 10109);
    EXPECT_EQ(lookup("127.0.0.1", "99999"), 10109);
    // The system reader takes leading white space and a plus sign too, and
    // would then keep only the low 16 bits: 65561 would become port 25.
    for (const char* service : {" 65561", "+65561", "\t 4294967321", " +70000"})
        EXPECT_EQ(lookup("127.0.0.1", service), 10109) << service;
    EXPECT_EQ(lookup("127.0.0.1", "65535"), 0);
}

TEST_F(resolver, stopped_subsystem_reports_not_initialised) {
    platform::cleanup(ec);
    EXPECT_EQ(lookup("127.0.0.1", nullptr), 10093);
    char host[64];
    platform::get_name_info(nullptr, 0, host, sizeof host, nullptr, 0, 0, ec);
    EXPECT_EQ(ec.value(), 10093);
    ec.clear();
    platform::get_host_name(host, sizeof host, ec);
    EXPECT_EQ(ec.value(), 10093);
    platform::startup(ec);
    ASSERT_FALSE(ec);
}

TEST_F(resolver, host_name_is_always_terminated) {
    sys::calls().gethostname = [](char* buffer, std::size_t size) {
        std::memset(buffer, 'h', size);  // a full buffer, as POSIX allows
        return 0;
    };
    char name[8];
    platform::get_host_name(name, sizeof name, ec);
    ASSERT_FALSE(ec);
    EXPECT_STREQ(name, "hhhhhhh");
}

// Interfaces for the connected-state query, built in place.
ifaddrs* interfaces = nullptr;

TEST_F(resolver, connection_means_a_non_loopback_interface_up_with_an_address) {
    static sockaddr_in inet{};
    inet.sin_family = AF_INET;
    static char lo_name[] = "lo", eth_name[] = "eth0";
    static ifaddrs eth{}, lo{};
    lo = {nullptr, lo_name, IFF_UP | IFF_LOOPBACK, reinterpret_cast<sockaddr*>(&inet), nullptr, {}, nullptr};
    eth = {&lo, eth_name, IFF_UP, reinterpret_cast<sockaddr*>(&inet), nullptr, {}, nullptr};
    sys::calls().getifaddrs = [](ifaddrs** list) {
        *list = interfaces;
        return 0;
    };
    sys::calls().freeifaddrs = [](ifaddrs*) {};
    unsigned flags = 1;

    interfaces = &lo;
    EXPECT_FALSE(platform::connected_state(&flags));
    EXPECT_EQ(flags, 0u);
    interfaces = &eth;
    EXPECT_TRUE(platform::connected_state(&flags));
    eth.ifa_flags = 0;  // down
    EXPECT_FALSE(platform::connected_state(&flags));
    eth.ifa_flags = IFF_UP;
    eth.ifa_addr = nullptr;  // up, but without an address
    EXPECT_FALSE(platform::connected_state(&flags));
}

}  // namespace
