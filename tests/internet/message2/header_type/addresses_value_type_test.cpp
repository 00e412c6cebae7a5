// SPDX-License-Identifier: MIT
#include <corvid/internet/message2/header_type/addresses_value_type.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

using corvid::internet::message2::header_type::addresses_value_type;
using entries = std::vector<std::pair<std::string, std::u16string>>;

entries parsed(const std::string& raw, const std::string& charset = "iso-8859-1") {
    addresses_value_type value(charset);
    value.parse(raw);
    entries result;
    for (const auto& a : value.addresses) result.emplace_back(a.address, a.display_name);
    return result;
}

TEST(addresses_value_type_test, the_three_mailbox_forms) {
    EXPECT_EQ(parsed("\"John Smith\" <john@example.org>"), (entries{{"john@example.org", u"John Smith"}}));
    EXPECT_EQ(parsed("<a@b.c>"), (entries{{"a@b.c", u"a@b.c"}}));
    EXPECT_EQ(parsed("a@b.c (Ann Other)"), (entries{{"a@b.c", u"Ann Other"}}));
    EXPECT_EQ(parsed("a@b.c"), (entries{{"a@b.c", u""}}));
    EXPECT_EQ(parsed("Ann <a@b.c>, b@c.d; \"Smith, John\" <s@j.k>"),
              (entries{{"a@b.c", u"Ann"}, {"b@c.d", u""}, {"s@j.k", u"Smith, John"}}));
}

TEST(addresses_value_type_test, undecorated_bytes_are_read_in_the_charset) {
    EXPECT_EQ(parsed("J\xC3\xB6rg <j@x.y>", "utf-8"), (entries{{"j@x.y", u"J\u00F6rg"}}));
    EXPECT_EQ(parsed("\"=?utf-8?B?SsO2cmc=?=\" <j@x.y>"), (entries{{"j@x.y", u"J\u00F6rg"}}));
}

TEST(addresses_value_type_test, empty_and_broken_entries_are_skipped) {
    EXPECT_TRUE(parsed("").empty());
    EXPECT_TRUE(parsed(" , ;").empty());
    EXPECT_TRUE(parsed("<>").empty());
    EXPECT_TRUE(parsed("()").empty());
    EXPECT_EQ(parsed("<>, a@b.c"), (entries{{"a@b.c", u""}}));
}

TEST(addresses_value_type_test, render_and_parse_round_trip) {
    addresses_value_type value("utf-8");
    value.add_address("j@x.y", u"J\u00F6rg M\u00FCller");
    value.add_address("plain@x.y", u"");
    value.add_address_from("s@j.k", "Smith, John", 65001);
    value.add_address("q@x.y", u"The \"Boss\"");
    const std::string raw = value.render();
    EXPECT_EQ(raw,
              "\"=?utf-8?B?SsO2cmcgTcO8bGxlcg==?=\" <j@x.y>, <plain@x.y>, \"Smith, John\" <s@j.k>, "
              "\"=?utf-8?Q?The_=22Boss=22?=\" <q@x.y>");
    EXPECT_EQ(parsed(raw), (entries{{"j@x.y", u"J\u00F6rg M\u00FCller"},
                                    {"plain@x.y", u"plain@x.y"},
                                    {"s@j.k", u"Smith, John"},
                                    {"q@x.y", u"The \"Boss\""}}));
}

}  // namespace
