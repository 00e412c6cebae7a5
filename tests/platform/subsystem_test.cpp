// SPDX-License-Identifier: MIT
#include <corvid/platform/subsystem.h>

#include "tests/support/sys_fault.h"

#include <gtest/gtest.h>

namespace {

namespace platform = corvid::platform;

int start() {
    std::error_code ec;
    platform::startup(ec);
    return ec.value();
}

int stop() {
    std::error_code ec;
    platform::cleanup(ec);
    return ec.value();
}

TEST(subsystem, start_ups_nest_and_a_surplus_cleanup_reports_not_initialised) {
    ASSERT_FALSE(platform::started());
    ASSERT_EQ(start(), 0);
    ASSERT_EQ(start(), 0);
    EXPECT_EQ(stop(), 0);
    EXPECT_TRUE(platform::started());
    EXPECT_EQ(stop(), 0);
    EXPECT_FALSE(platform::started());
    EXPECT_EQ(stop(), 10093);
    EXPECT_FALSE(platform::started());
}

TEST(subsystem, failed_start_up_or_stop_leaves_the_count) {
    corvid::test::sys_guard guard;
    auto& calls = platform::sys::calls();
    calls.startup = [] { return 10091; };
    EXPECT_EQ(start(), 10091);
    EXPECT_FALSE(platform::started());

    calls.startup = platform::sys::system_calls().startup;
    ASSERT_EQ(start(), 0);
    calls.cleanup = [] { return 10050; };
    EXPECT_EQ(stop(), 10050);
    EXPECT_TRUE(platform::started());
    calls.cleanup = platform::sys::system_calls().cleanup;
    EXPECT_EQ(stop(), 0);
}

}  // namespace
