// SPDX-License-Identifier: MIT
#include <corvid/unicode/ansi_codepage.h>

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <corvid/unicode/convert.h>
#include <corvid/unicode/errors.h>

namespace {

using namespace corvid::unicode;

// Sets the locale variables for one test and restores them afterwards,
// together with the remembered code page.
class environment {
public:
    environment(const char* lc_all, const char* lc_ctype, const char* lang) {
        set("LC_ALL", lc_all);
        set("LC_CTYPE", lc_ctype);
        set("LANG", lang);
        unpin_ansi_codepage();
    }
    ~environment() {
        for (auto& [name, value] : saved) {
            if (value) setenv(name, value->c_str(), 1);
            else unsetenv(name);
        }
        unpin_ansi_codepage();
    }

private:
    void set(const char* name, const char* value) {
        const char* old = std::getenv(name);
        saved.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
        if (value) setenv(name, value, 1);
        else unsetenv(name);
    }
    std::vector<std::pair<const char*, std::optional<std::string>>> saved;
};

TEST(ansi_codepage_test, c_and_utf8_locales_mean_utf8) {
    {
        environment env(nullptr, nullptr, "C");
        EXPECT_EQ(ansi_codepage(), 65001);
        EXPECT_EQ(to_wide("\xC3\xA9", 0), u"\u00E9");
    }
    {
        environment env(nullptr, nullptr, "en_US.UTF-8");
        EXPECT_EQ(ansi_codepage(), 65001);
        EXPECT_EQ(to_narrow(u"\u4E00", 0), "\xE4\xB8\x80");
    }
    {
        environment env(nullptr, nullptr, nullptr);
        EXPECT_EQ(ansi_codepage(), 65001);
    }
}

TEST(ansi_codepage_test, latin1_locale_means_28591) {
    environment env(nullptr, nullptr, "de_DE.ISO-8859-1");
    EXPECT_EQ(ansi_codepage(), 28591);
    EXPECT_EQ(to_wide("\xE9", 0), u"\u00E9");
    EXPECT_THROW(to_narrow(u"\u20AC", 0), unmappable_character);
}

TEST(ansi_codepage_test, lc_all_then_lc_ctype_then_lang) {
    {
        environment env("fr_FR.ISO-8859-15", "ru_RU.KOI8-R", "de_DE.ISO-8859-1");
        EXPECT_EQ(ansi_codepage(), 28605);
    }
    {
        environment env("", "ru_RU.KOI8-R", "de_DE.ISO-8859-1");
        EXPECT_EQ(ansi_codepage(), 20866);
    }
    {
        environment env(nullptr, "", "de_DE.ISO-8859-1");
        EXPECT_EQ(ansi_codepage(), 28591);
    }
}

TEST(ansi_codepage_test, reading_leaves_the_global_locale_alone) {
    const std::string before = std::setlocale(LC_ALL, nullptr);
    environment env(nullptr, nullptr, "C.UTF-8");
    EXPECT_EQ(ansi_codepage(), 65001);
    EXPECT_EQ(std::setlocale(LC_ALL, nullptr), before);
}

TEST(ansi_codepage_test, pin_wins_until_unpinned) {
    environment env(nullptr, nullptr, "de_DE.ISO-8859-1");
    pin_ansi_codepage(932);
    EXPECT_EQ(ansi_codepage(), 932);
    unpin_ansi_codepage();
    EXPECT_EQ(ansi_codepage(), 28591);
}

TEST(ansi_codepage_test, locale_names) {
    EXPECT_EQ(codepage_from_locale("POSIX"), 65001);
    EXPECT_EQ(codepage_from_locale(""), 65001);
    EXPECT_EQ(codepage_from_locale("C.utf8"), 65001);
    EXPECT_EQ(codepage_from_locale("de_DE.ISO-8859-15@euro"), 28605);
    EXPECT_EQ(codepage_from_locale("ja_JP.eucJP"), 51932);
    EXPECT_EQ(codepage_from_locale("zh_CN.GB18030"), 54936);
    EXPECT_EQ(codepage_from_locale("xx_XX.no-such-charset"), -1);
    EXPECT_EQ(codepage_from_locale("xx_XX.windows"), 65001);  // never 0 itself
}

}  // namespace
