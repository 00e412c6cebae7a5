// SPDX-License-Identifier: MIT
#include <corvid/internet/environment/startup.h>

#include "tests/support/sys_fault.h"
#include "tests/support/throws.h"

#include <corvid/internet/environment/environment.h>
#include <corvid/platform/subsystem.h>

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

namespace env = corvid::internet::environment;
namespace sys = corvid::platform::sys;

int injected_status = 0;

template <typename E>
std::string failed_start_up(int status) {
    corvid::test::sys_guard guard;
    injected_status = status;
    sys::calls().startup = [] { return injected_status; };
    std::string what = corvid::test::what_of<E>([] { env::startup scope; });
    EXPECT_FALSE(corvid::platform::started());
    return what;
}

TEST(startup, start_up_status_picks_the_class) {
    EXPECT_EQ(failed_start_up<env::subsystem_not_ready>(10091),
              "internet.environment.subsystem_not_ready[WSAStartup() failed]");
    EXPECT_EQ(failed_start_up<env::version_not_supported>(10092),
              "internet.environment.version_not_supported[WSAStartup() failed]");
    EXPECT_EQ(failed_start_up<env::generic>(10067),
              "internet.environment[WSAStartup() returned status 0x00002753]");
}

TEST(startup, scope_starts_and_stops_and_nests) {
    {
        env::startup outer;
        {
            env::startup inner;
            EXPECT_TRUE(corvid::platform::started());
        }
        EXPECT_TRUE(corvid::platform::started());
    }
    EXPECT_FALSE(corvid::platform::started());
}

TEST(startup, failed_stop_never_leaves_the_destructor) {
    corvid::test::sys_guard guard;
    try {
        env::startup scope;
        sys::calls().cleanup = [] { return 10050; };
        throw std::runtime_error("send failed");  // unwinds through ~startup
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "send failed");
    }
    sys::calls().cleanup = sys::system_calls().cleanup;
    EXPECT_EQ(env::cleanup(), 0);  // the failed stop left one start-up behind
}

}  // namespace
