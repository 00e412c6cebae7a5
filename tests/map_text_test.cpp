// SPDX-License-Identifier: MIT
#include <corvid/map_text.h>

#include <gtest/gtest.h>

#include <corvid/exception.h>

namespace {

using string_map = std::map<std::string, std::string>;

TEST(map_text_test, round_trip_in_key_order) {
    string_map map{{"k", "v"}, {"a", "b"}};
    EXPECT_EQ(corvid::map_to_text(map), "[a|b][k|v]");
    EXPECT_EQ(corvid::text_to_map("[a|b][k|v]"), map);
    string_map odd{{"key with spaces", ""}, {"x", "value, \"quoted\""}, {"\xE9", "\x01"}};
    EXPECT_EQ(corvid::text_to_map(corvid::map_to_text(odd)), odd);
    EXPECT_EQ(corvid::map_to_text({}), "");
    EXPECT_TRUE(corvid::text_to_map("").empty());
}

TEST(map_text_test, reading_tolerates_loose_text) {
    EXPECT_EQ(corvid::text_to_map("[k]"), (string_map{{"k", ""}}));
    EXPECT_EQ(corvid::text_to_map("[k|]"), (string_map{{"k", ""}}));
    // Empty parts vanish, so the value stands alone as a key.
    EXPECT_EQ(corvid::text_to_map("[|v]"), (string_map{{"v", ""}}));
    EXPECT_EQ(corvid::text_to_map("[a|1|2][b|3]"), (string_map{{"b", "3"}}));
    EXPECT_EQ(corvid::text_to_map("[k|first][k|second]"), (string_map{{"k", "first"}}));
    EXPECT_EQ(corvid::text_to_map("junk[a|b]]]["), (string_map{{"junk", ""}, {"a", "b"}}));
}

TEST(map_text_test, refuses_pairs_that_would_read_back_differently) {
    EXPECT_THROW(corvid::map_to_text({{"", "v"}}), corvid::exception);
    EXPECT_THROW(corvid::map_to_text({{"a|b", "v"}}), corvid::exception);
    EXPECT_THROW(corvid::map_to_text({{"k", "v]"}}), corvid::exception);
    EXPECT_THROW(corvid::map_to_text({{"k", "[v"}}), corvid::exception);
    EXPECT_THROW(corvid::map_to_text({{"ok", "fine"}, {"k", "a|b"}}), corvid::exception);
}

}  // namespace
