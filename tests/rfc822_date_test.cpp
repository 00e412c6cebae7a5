// SPDX-License-Identifier: MIT
#include <corvid/rfc822_date.h>

#include <gtest/gtest.h>

#include <corvid/exception.h>

#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <utility>

namespace {

TEST(rfc822_date_test, known_instants) {
    EXPECT_EQ(corvid::rfc822_date(0), "Thu, 01 Jan 1970 00:00:00 -0000");
    EXPECT_EQ(corvid::rfc822_date(1000000000), "Sun, 09 Sep 2001 01:46:40 -0000");
    // 2000 is a leap year: 29 February exists.
    EXPECT_EQ(corvid::rfc822_date(951782400), "Tue, 29 Feb 2000 00:00:00 -0000");
}

TEST(rfc822_date_test, always_31_characters_for_four_digit_years) {
    // 1000-01-01 and 9999-12-31 23:59:59 bound the range.
    EXPECT_EQ(corvid::rfc822_date(-30610224000).size(), 31u);
    EXPECT_EQ(corvid::rfc822_date(-30610224000), "Wed, 01 Jan 1000 00:00:00 -0000");
    EXPECT_EQ(corvid::rfc822_date(253402300799), "Fri, 31 Dec 9999 23:59:59 -0000");
    for (std::int64_t t = 0; t < 253402300799; t += 86400 * 997 + 3607)
        EXPECT_EQ(corvid::rfc822_date(t).size(), 31u) << t;
}

TEST(rfc822_date_test, rejects_years_outside_four_digits) {
    EXPECT_THROW(corvid::rfc822_date(253402300800), corvid::exception);
    EXPECT_THROW(corvid::rfc822_date(-30610224001), corvid::exception);
    // Years beyond what the broken-down time's int holds once 1900 is added.
    for (std::int64_t t : {std::int64_t{67768036191676799}, INT64_MAX, INT64_MIN})
        EXPECT_THROW(corvid::rfc822_date(t), corvid::exception) << t;
}

// The local form follows TZ, with the numeric offset of that instant.
TEST(rfc822_date_test, local_date_carries_the_zone_offset) {
    const std::pair<const char*, const char*> zones[] = {
        {"UTC0", "Sun, 09 Sep 2001 01:46:40 +0000"},
        {"EST5", "Sat, 08 Sep 2001 20:46:40 -0500"},
        {"IST-5:30", "Sun, 09 Sep 2001 07:16:40 +0530"},
        {"CET-1CEST,M3.5.0,M10.5.0/3", "Sun, 09 Sep 2001 03:46:40 +0200"},
    };
    for (const auto& [tz, expected] : zones) {
        ::setenv("TZ", tz, 1);
        ::tzset();
        EXPECT_EQ(corvid::rfc822_local_date(1000000000), expected) << tz;
    }
    EXPECT_THROW(corvid::rfc822_local_date(253402300800), corvid::exception);
}

}  // namespace
