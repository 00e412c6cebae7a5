#include <corvid/platform/subsystem.h>

#include "tests/support/sys_fault.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

namespace platform = corvid::platform;

TEST(subsystem, start_ups_nest_and_a_surplus_cleanup_reports_not_initialised) {
    ASSERT_FALSE(platform::started());
    ASSERT_EQ(platform::startup(), 0);
    ASSERT_EQ(platform::startup(), 0);
    EXPECT_EQ(platform::cleanup(), 0);
    EXPECT_TRUE(platform::started());
    EXPECT_EQ(platform::cleanup(), 0);
    EXPECT_FALSE(platform::started());
    EXPECT_EQ(platform::cleanup(), -1);
    EXPECT_EQ(platform::last_error(), 10093);
    EXPECT_FALSE(platform::started());
}

TEST(subsystem, failed_start_up_or_stop_leaves_the_count) {
    corvid::test::sys_guard guard;
    auto& calls = platform::sys::calls();
    calls.startup = [] { return 10091; };
    EXPECT_EQ(platform::startup(), 10091);
    EXPECT_FALSE(platform::started());

    calls.startup = platform::sys::system_calls().startup;
    ASSERT_EQ(platform::startup(), 0);
    calls.cleanup = [] { return 10050; };
    EXPECT_EQ(platform::cleanup(), -1);
    EXPECT_EQ(platform::last_error(), 10050);
    EXPECT_TRUE(platform::started());
    calls.cleanup = platform::sys::system_calls().cleanup;
    EXPECT_EQ(platform::cleanup(), 0);
}

TEST(subsystem, last_error_belongs_to_the_thread) {
    platform::set_last_error(10054);
    std::thread other([] {
        EXPECT_EQ(platform::last_error(), 0);
        platform::set_last_error(10061);
    });
    other.join();
    EXPECT_EQ(platform::last_error(), 10054);
}

}  // namespace
