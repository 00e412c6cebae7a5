// SPDX-License-Identifier: MIT
#include <corvid/internet/message2/header_type/unstructured_value_type.h>

#include <gtest/gtest.h>

namespace {

using corvid::internet::message2::header_type::unstructured_value_type;

TEST(unstructured_value_type_test, render_and_parse_round_trip) {
    unstructured_value_type subject("utf-8");
    subject.set_text(u"Fehler beim \u00D6ffnen");
    const std::string raw = subject.render();
    unstructured_value_type read;
    read.parse(raw);
    EXPECT_EQ(read.text(), u"Fehler beim \u00D6ffnen");
    EXPECT_EQ(read.charset, "utf-8");
    // Parsing replaces what was there.
    read.parse("plain");
    EXPECT_EQ(read.text(), u"plain");
}

}  // namespace
