// SPDX-License-Identifier: MIT
#include <corvid/internet/environment/environment.h>

#include "tests/support/sys_fault.h"
#include "tests/support/throws.h"

#include <corvid/internet/environment/startup.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <netdb.h>
#include <unistd.h>

namespace {

namespace env = corvid::internet::environment;
namespace sys = corvid::platform::sys;
using corvid::test::what_of;

TEST(environment, cleanup_without_start_up_returns_not_initialised) {
    EXPECT_EQ(env::cleanup(), 10093);
    EXPECT_EQ(env::cleanup(), 10093);
}

int stop_status = 0;

TEST(environment, cleanup_status_picks_the_class) {
    corvid::test::sys_guard guard;
    sys::calls().cleanup = [] { return stop_status; };
    env::startup scope;
    stop_status = 10050;
    EXPECT_EQ(what_of<env::subsystem_failed>(env::cleanup),
              "internet.environment.subsystem_failed[WSACleanup() failed]");
    stop_status = 10022;
    EXPECT_EQ(what_of<env::generic>(env::cleanup),
              "internet.environment[WSACleanup() returned status 0x00002726]");
    stop_status = 0;
}

TEST(environment, host_name_is_the_system_s) {
    env::startup scope;
    char expected[256] = {};
    ASSERT_EQ(::gethostname(expected, sizeof expected - 1), 0);
    EXPECT_EQ(env::host_name(), expected);
}

TEST(environment, host_name_failure_picks_the_class) {
    EXPECT_EQ(what_of<env::subsystem_not_ready>(env::host_name),
              "internet.environment.subsystem_not_ready[gethostname() failed]");
    env::startup scope;
    corvid::test::sys_guard guard;
    corvid::test::fail_with(sys::calls().gethostname, ENETDOWN);
    EXPECT_EQ(what_of<env::subsystem_failed>(env::host_name),
              "internet.environment.subsystem_failed[gethostname() failed]");
    corvid::test::fail_with(sys::calls().gethostname, EFAULT);
    EXPECT_EQ(what_of<env::generic>(env::host_name),
              "internet.environment[gethostname() returned status 0x0000271e]");
}

const char* faked_host = "";

// The canonical name when the resolver knows the host, else the name itself,
// and only a name that another host could look up.
TEST(environment, fully_qualified_name_takes_only_a_public_domain) {
    env::startup scope;
    corvid::test::sys_guard guard;
    sys::calls().gethostname = [](char* buffer, std::size_t size) {
        std::snprintf(buffer, size, "%s", faked_host);
        return 0;
    };
    sys::calls().getaddrinfo = [](const char*, const char*, const addrinfo*, addrinfo** list) {
        *list = nullptr;
        return EAI_NONAME;
    };
    for (const char* name : {"mail.example.com", "Host-1.corp.example.", "a.b"}) {
        faked_host = name;
        EXPECT_EQ(env::fully_qualified_name(), name);
    }
    for (const char* name : {"vm", "localhost", "localhost.localdomain", "box.localdomain", "10.0.0.7", "-a.example",
                             "a..example", "a_b.example", "x.localhost", ""}) {
        faked_host = name;
        EXPECT_EQ(env::fully_qualified_name(), "") << name;
    }
    EXPECT_FALSE(env::is_fully_qualified(std::string(64, 'a') + ".example"));
    EXPECT_TRUE(env::is_fully_qualified(std::string(63, 'a') + ".example"));
}

unsigned state_flags = 0;
bool state_connected = false;

TEST(environment, offline_only_without_a_connection_and_with_the_flag) {
    corvid::test::sys_guard guard;
    sys::calls().connected_state = [](unsigned* flags) {
        *flags = state_flags;
        return state_connected;
    };
    struct row {
        bool connected;
        unsigned flags;
        bool offline;
    };
    for (auto r : {row{true, 0x20, false}, row{true, 0, false}, row{false, 0x20, true},
                   row{false, 0x21, true}, row{false, 0x01, false}}) {
        state_connected = r.connected;
        state_flags = r.flags;
        EXPECT_EQ(env::offline(), r.offline) << r.connected << " " << r.flags;
    }
}

TEST(environment, linux_is_never_offline) { EXPECT_FALSE(env::offline()); }

}  // namespace
