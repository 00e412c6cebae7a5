// SPDX-License-Identifier: MIT
#include <corvid/internet/message2/body.h>

#include <corvid/unicode/errors.h>

#include <gtest/gtest.h>

namespace {

using corvid::internet::message2::body;

TEST(body_test, set_text_stores_the_bytes_in_the_charset) {
    body b;
    EXPECT_EQ(b.content_type, "text/plain");
    EXPECT_EQ(b.charset, "iso-8859-1");
    b.set_text(u"caf\u00E9");
    EXPECT_EQ(b.data, "caf\xE9");
    b.charset = "utf-8";
    b.set_text(u"caf\u00E9");
    EXPECT_EQ(b.data, "caf\xC3\xA9");
    EXPECT_EQ(b.text(), u"caf\u00E9");
}

TEST(body_test, text_decodes_assigned_data_on_first_request) {
    body b;
    b.charset = "utf-8";
    b.data = "\xC3\xB6l";
    EXPECT_EQ(b.text(), u"\u00F6l");
    body empty;
    EXPECT_EQ(empty.text(), u"");
}

TEST(body_test, a_text_the_charset_cannot_hold_leaves_the_body_as_it_was) {
    body b;
    b.set_text(u"kept");
    EXPECT_THROW(b.set_text(u"\u4E2D"), corvid::unicode::unmappable_character);
    EXPECT_EQ(b.data, "kept");
    EXPECT_EQ(b.text(), u"kept");
}

}  // namespace
