// SPDX-License-Identifier: MIT
#include <corvid/locale.h>

#include <gtest/gtest.h>

#include <clocale>
#include <cstring>
#include <locale>

#include <corvid/exception.h>
#include <corvid/text.h>

namespace {

// Puts the process back into the "C" locale whatever a test did.
struct restore_c_locale {
    ~restore_c_locale() { std::locale::global(std::locale::classic()); }
};

TEST(locale_test, unknown_name_throws_and_changes_nothing) {
    restore_c_locale restore;
    try {
        corvid::set_global_locale("no_such_LOCALE.x");
        FAIL() << "no exception";
    } catch (const corvid::exception& e) {
        EXPECT_NE(std::strstr(e.message(), "no_such_LOCALE.x"), nullptr) << e.message();
    }
    EXPECT_EQ(std::locale().name(), "C");
}

TEST(locale_test, named_locale_becomes_global_and_leaves_case_mapping_alone) {
    restore_c_locale restore;
    corvid::set_global_locale("C.UTF-8");
    EXPECT_EQ(std::locale().name(), "C.UTF-8");
    EXPECT_STREQ(std::setlocale(LC_CTYPE, nullptr), "C.UTF-8");
    // A locale-aware mapping would turn these into their capitals.
    EXPECT_EQ(corvid::to_upper(u"\u00E9\u0101x"), u"\u00E9\u0101X");
    EXPECT_FALSE(corvid::iequals(u"\u00C9", u"\u00E9"));
    corvid::set_global_locale("C");
    EXPECT_EQ(std::locale().name(), "C");
}

}  // namespace
