// SPDX-License-Identifier: MIT
#include <corvid/internet/message2/message_id.h>

#include <corvid/internet/message2/errors.h>

#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <string>

namespace {

using corvid::internet::message2::make_message_id;

TEST(message_id, is_unique_and_in_the_domain_given) {
    const std::regex form("<[0-9a-f]+\\.[0-9a-f]{16}@mail\\.example\\.org>");
    std::set<std::string> seen;
    for (int i = 0; i < 1000; ++i) {
        const std::string id = make_message_id("mail.example.org");
        EXPECT_TRUE(std::regex_match(id, form)) << id;
        EXPECT_TRUE(seen.insert(id).second) << id;
    }
}

TEST(message_id, refuses_domains_that_break_the_header) {
    for (const char* domain : {"", "a\r\nBcc: x@y", "a\nb", "a\tb"})
        EXPECT_THROW(make_message_id(domain), corvid::internet::message2::generic) << domain;
}

}  // namespace
