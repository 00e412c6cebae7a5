// SPDX-License-Identifier: MIT
#include <corvid/internet/message2/header_type/extended_parameter.h>

#include <corvid/internet/message2/header_type/parametized_value_type.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace {

using corvid::internet::message2::header_type::parametized_value_type;

struct lookup_case {
    const char* raw;
    const char* name;
    std::optional<std::u16string> value;  // nullopt: not found
};

TEST(extended_parameter, rfc2231_forms_are_found_under_the_plain_name) {
    const lookup_case cases[] = {
        {"attachment; filename*=UTF-8''r%C3%A9sum%C3%A9.pdf", "filename", u"r\u00E9sum\u00E9.pdf"},
        {"attachment; FILENAME*=utf-8'en'%e2%82%ac.txt", "filename", u"\u20AC.txt"},
        // Sections in any order; a character may be cut between two of them.
        {"a; filename*1*=%A9.pdf; filename*0*=UTF-8''r%C3", "filename", u"r\u00E9.pdf"},
        {"a; name*2=c.txt; name*0*=utf-8''%C3%A4; name*1=b", "name", u"\u00E4bc.txt"},
        // Plain and escaped sections mix; escapes are read only where marked.
        {"a; f*0*=iso-8859-1''caf%E9; f*1=%20x; f*2*=%21", "f", u"caf\u00E9%20x!"},
        {"a; title*=iso-8859-15''%A4uro", "title", u"\u20ACuro"},
        {"a; title*=windows-1251''%C4%E0", "title", u"\u0414\u0430"},
        // An unknown charset reads one character per byte.
        {"a; f*=x-unknown''%E9", "f", u"\u00E9"},
        // The plain name wins.
        {"a; filename=plain.txt; filename*=UTF-8''other.txt", "filename", u"plain.txt"},
        {"a; filename*=UTF-8''other.txt; filename=plain.txt", "filename", u"plain.txt"},
        // Flaws: a gap joins what is there; bad escapes stay as written.
        {"a; f*0=one; f*2=three", "f", u"onethree"},
        {"a; f*=UTF-8''50%25%zz%4", "f", u"50%%zz%4"},
        // With no charset named the escapes still stand for bytes, read as
        // UTF-8 where they are UTF-8, else one character per byte.
        {"a; f*=r%C3%A9sum", "f", u"r\u00E9sum"},
        {"a; f*0=\"caf\"; f*1*=%E9.txt", "f", u"caf\u00E9.txt"},
        {"a; f*0=\"long name \"; f*1*=%C3%A9.txt", "f", u"long name \u00E9.txt"},
        // Bytes the charset cannot read become replacement characters, as in
        // bodies.
        {"a; f*=UTF-8''%FF%FE", "f", u"\uFFFD\uFFFD"},
        {"a; f*x=1; f*=", "f", u""},
        // Not sections of f.
        {"a; f*x=1; fx*0=2; f*-1=3; f*99999999999=4", "f", std::nullopt},
        {"a; file*=UTF-8''x", "f", std::nullopt},
    };
    for (const auto& c : cases) {
        parametized_value_type value;
        value.parse(c.raw);
        std::u16string found = u"untouched";
        EXPECT_EQ(value.parameter(c.name, found), c.value.has_value()) << c.raw;
        EXPECT_EQ(found, c.value.value_or(u"untouched")) << c.raw;
    }
}

TEST(extended_parameter, parameter_in_converts_the_decoded_value) {
    parametized_value_type value;
    value.parse("multipart/mixed; boundary*0*=''%3D_a; boundary*1=b");
    std::string boundary;
    ASSERT_TRUE(value.parameter_in("boundary", 65001, boundary));
    EXPECT_EQ(boundary, "=_ab");
}

}  // namespace
