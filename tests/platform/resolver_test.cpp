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
    void SetUp() override { ASSERT_EQ(platform::startup(), 0); }
    void TearDown() override { platform::cleanup(); }
    corvid::test::sys_guard guard;
};

int lookups = 0;

int counting_lookup(const char*, const char*, const addrinfo*, addrinfo** result) {
    ++lookups;
    *result = nullptr;
    return EAI_NONAME;
}

TEST_F(resolver, reserved_invalid_names_fail_without_a_lookup) {
    sys::calls().getaddrinfo = counting_lookup;
    lookups = 0;
    addrinfo* list = nullptr;
    for (const char* name : {"mail.invalid", "INVALID", "a.b.Invalid.", "invalid."}) {
        EXPECT_EQ(platform::get_address_info(name, nullptr, nullptr, &list), 11001) << name;
        EXPECT_EQ(list, nullptr);
    }
    EXPECT_EQ(lookups, 0);
    EXPECT_EQ(platform::last_error(), 11001);
    // Only the whole last label counts.
    platform::get_address_info("notinvalid", nullptr, nullptr, &list);
    platform::get_address_info("invalid.example", nullptr, nullptr, &list);
    EXPECT_EQ(lookups, 2);
}

TEST_F(resolver, numeric_service_beyond_the_port_range_is_not_found) {
    addrinfo* list = nullptr;
    EXPECT_EQ(platform::get_address_info("127.0.0.1", "65536", nullptr, &list), 10109);
    EXPECT_EQ(platform::get_address_info("127.0.0.1", "99999", nullptr, &list), 10109);
    // The system reader takes leading white space and a plus sign too, and
    // would then keep only the low 16 bits: 65561 would become port 25.
    for (const char* service : {" 65561", "+65561", "\t 4294967321", " +70000"})
        EXPECT_EQ(platform::get_address_info("127.0.0.1", service, nullptr, &list), 10109) << service;
    ASSERT_EQ(platform::get_address_info("127.0.0.1", "65535", nullptr, &list), 0);
    platform::address_info_list owned(list);
    EXPECT_NE(owned, nullptr);
}

TEST_F(resolver, stopped_subsystem_reports_not_initialised) {
    platform::cleanup();
    addrinfo* list = nullptr;
    EXPECT_EQ(platform::get_address_info("127.0.0.1", nullptr, nullptr, &list), 10093);
    char host[64];
    EXPECT_EQ(platform::get_name_info(nullptr, 0, host, sizeof host, nullptr, 0, 0), 10093);
    EXPECT_EQ(platform::get_host_name(host, sizeof host), -1);
    EXPECT_EQ(platform::last_error(), 10093);
    ASSERT_EQ(platform::startup(), 0);
}

TEST_F(resolver, host_name_is_always_terminated) {
    sys::calls().gethostname = [](char* buffer, std::size_t size) {
        std::memset(buffer, 'h', size);  // a full buffer, as POSIX allows
        return 0;
    };
    char name[8];
    ASSERT_EQ(platform::get_host_name(name, sizeof name), 0);
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
