// SPDX-License-Identifier: MIT
#include <corvid/unicode/charset.h>

#include <gtest/gtest.h>

#include <climits>

namespace {

using corvid::unicode::charset_table;
using corvid::unicode::codepage_from_charset;

struct name_case {
    const char* name;
    int codepage;
};

TEST(charset_test, names_resolve_through_table_and_prefixes) {
    const name_case cases[] = {
        {"UTF-8", 65001},
        {"Shift_JIS", 932},
        {"ISO-8859-1", 28591},  // prefix rule, rest "1"
        {"iso-8859-15", 28605},
        {"latin2", 28592},
        {"ISO_8859-8-I", 38598},  // table entry, never reaches the prefix
        {"windows-1250", 1250},
        {"cp850", 850},
        {"ibm437", 437},
        {"DOS-862", 862},
        {"ISO-IR-100", 1252},  // the table says 1252, not 28591
        {"csISOLatinArabic", 28596},
        // Latin alphabets name their ISO 8859 part, not their own number.
        {"latin1", 28591},
        {"latin4", 28594},
        {"csISOLatin5", 28599},
        {"Latin-5", 28599},
        {"latin6", 28600},
        {"latin7", 28603},
        {"latin8", 28604},
        {"latin9", 28605},
        {"csisolatin10", 28606},
        {"latin11", 28601},  // no such alphabet: the number as written
        {"iso-8859-5", 28595},
        {"ISO_8859-1:1987", 28591},  // atoi stops at the colon
        {"x-iscii-as", 10079},
        {"GB2312", 936},
        {"KOI8-R", 20866},
        {"US-ASCII", -1},
        {"x-unknown", -1},
        {"", -1},
    };
    for (const auto& c : cases) EXPECT_EQ(codepage_from_charset(c.name), c.codepage) << c.name;
}

TEST(charset_test, normalising_removes_only_dashes_and_underscores) {
    EXPECT_EQ(codepage_from_charset("u-t_f-8"), 65001);
    EXPECT_EQ(codepage_from_charset("UtF8"), 65001);
    EXPECT_EQ(codepage_from_charset("utf.8"), -1);
    EXPECT_EQ(codepage_from_charset(" utf8"), -1);
    EXPECT_EQ(codepage_from_charset("utf8 "), -1);
    // Bytes above 127 are not letters to lower-case.
    EXPECT_EQ(codepage_from_charset("\xC9utf8"), -1);
}

TEST(charset_test, prefix_number_follows_atoi) {
    const name_case cases[] = {
        {"latin", 28590},   // no digits
        {"windows", 0},     // the ANSI code page
        {"cp", 0},
        {"cp 850", 850},    // leading white space
        {"cp\t+850", 850},  // and a sign
        {"cp850x", 850},    // digits up to the first non-digit
        {"cpx850", 0},
        {"ibm00858", 858},
        {"cp99999999999", INT_MAX},
        {"latin99999999999", INT_MAX},  // 28590 + the number must not overflow
        {"latin2147483647", INT_MAX},
        {"c", -1},          // shorter than every prefix
        {"iso885", -1},
        {"lat", -1},
    };
    for (const auto& c : cases) EXPECT_EQ(codepage_from_charset(c.name), c.codepage) << c.name;
}

TEST(charset_test, table_holds_the_fixed_normalised_names) {
    const auto& table = charset_table();
    EXPECT_EQ(table.size(), 104u);
    for (const auto& [name, codepage] : table) {
        EXPECT_EQ(name.find_first_of("-_ABCDEFGHIJKLMNOPQRSTUVWXYZ"), std::string::npos) << name;
        EXPECT_EQ(codepage_from_charset(name), codepage) << name;
    }
    EXPECT_EQ(&table, &charset_table());
}

}  // namespace
