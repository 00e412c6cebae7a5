// SPDX-License-Identifier: MIT
#include <corvid/unicode/convert.h>

#include <gtest/gtest.h>

#include <iconv.h>

#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <corvid/unicode/ansi_codepage.h>
#include <corvid/unicode/codepage_names.h>
#include <corvid/unicode/errors.h>
#include <corvid/unicode/icu_steps.h>

namespace {

using namespace corvid::unicode;

// Keeps code page 0 fixed for one test and forgets the pin afterwards.
struct pinned_ansi {
    explicit pinned_ansi(int codepage) { pin_ansi_codepage(codepage); }
    ~pinned_ansi() { unpin_ansi_codepage(); }
};

// glibc's own converter, as an independent opinion; nothing when it refuses.
std::optional<std::string> iconv_convert(const char* from, const char* to, const std::string& input) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
    std::string output(input.size() * 4 + 16, '\0');
    char* in = const_cast<char*>(input.data());
    std::size_t in_left = input.size();
    char* out = output.data();
    std::size_t out_left = output.size();
    std::size_t result = iconv(cd, &in, &in_left, &out, &out_left);
    iconv_close(cd);
    if (result == static_cast<std::size_t>(-1) || result != 0) return std::nullopt;  // error or inexact
    output.resize(output.size() - out_left);
    return output;
}

std::string utf16le_bytes(const std::u16string& text) {
    std::string bytes;
    for (char16_t unit : text) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    }
    return bytes;
}

TEST(convert_test, byte_mapping_of_no_codepage) {
    EXPECT_EQ(to_wide("\x80\xFF", no_codepage), u"\u0080\u00FF");
    EXPECT_EQ(to_narrow(u"\u00E9", no_codepage), "\xE9");
    EXPECT_THROW(to_narrow(u"a\u20AC", no_codepage), unmappable_character);
    EXPECT_EQ(to_wide(std::string("a\0b", 3), no_codepage), std::u16string(u"a\0b", 3));
    std::string all;
    for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
    EXPECT_EQ(to_narrow(to_wide(all, no_codepage), no_codepage), all);
}

TEST(convert_test, empty_input_needs_no_valid_codepage) {
    for (int codepage : {no_codepage, 0, 1252, 65001, 28590, 12345, -7}) {
        EXPECT_EQ(to_wide("", codepage), u"") << codepage;
        EXPECT_EQ(to_narrow(u"", codepage), "") << codepage;
    }
}

TEST(convert_test, unserved_codepages_are_invalid_both_ways) {
    for (int codepage : {28590, 780, 1361, 20000, 29001, 42, 12345, -2, 99999999}) {
        EXPECT_THROW(to_wide("abc", codepage), invalid_codepage) << codepage;
        EXPECT_THROW(to_narrow(u"abc", codepage), invalid_codepage) << codepage;
        EXPECT_FALSE(is_representable(u"abc", codepage)) << codepage;
    }
}

TEST(convert_test, only_failures_of_the_converter_carry_a_message) {
    try {
        detail::throw_for(U_ILLEGAL_ARGUMENT_ERROR, "ucnv_fromUnicode");
        FAIL() << "no exception";
    } catch (const generic& e) {
        EXPECT_STREQ(e.what(), "unicode[ucnv_fromUnicode() failed: U_ILLEGAL_ARGUMENT_ERROR]");
    }
    EXPECT_THROW(detail::throw_for(U_MEMORY_ALLOCATION_ERROR, "ucnv_open"), out_of_memory);
    try {
        std::string text;
        detail::reserve(text, text.max_size() + 1);
        FAIL() << "no exception";
    } catch (const out_of_memory& e) {
        EXPECT_STREQ(e.what(), ("unicode.out_of_memory[cannot allocate " + std::to_string(std::string().max_size() + 1) +
                                " bytes for the converted text]")
                                   .c_str());
    }
    try {
        to_narrow(u"\u4E00", 1252);
        FAIL() << "no exception";
    } catch (const generic& e) {
        EXPECT_STREQ(e.what(), "unicode.unmappable_character[]");
    }
    try {
        to_wide("x", 28590);
        FAIL() << "no exception";
    } catch (const generic& e) {
        EXPECT_STREQ(e.what(), "unicode.invalid_codepage[]");
    }
}

TEST(convert_test, windows_1252_encodes_what_it_has_and_refuses_the_rest) {
    EXPECT_EQ(to_narrow(u"\u20AC", 1252), "\x80");
    EXPECT_EQ(to_wide("\x80\x9F\xE9", 1252), u"\u20AC\u0178\u00E9");
    EXPECT_THROW(to_narrow(u"\u4E00", 1252), unmappable_character);
    // No look-alikes: A with macron is not silently written as A.
    EXPECT_THROW(to_narrow(u"\u0100", 1252), unmappable_character);
    // A lone surrogate is no character at all.
    EXPECT_THROW(to_narrow(u"a\xD800" "b", 1252), unmappable_character);
    EXPECT_EQ(to_wide("\x81", 1252), u"\u0081");  // the gaps decode as C1 controls
}

TEST(convert_test, utf8_substitutes_where_strict_pages_throw) {
    EXPECT_EQ(to_narrow(u"\u4E00", 65001), "\xE4\xB8\x80");
    EXPECT_EQ(to_wide("\xF0\x9F\x98\x80", 65001), u"\U0001F600");
    EXPECT_EQ(to_wide("a\xFF" "b", 65001), u"a\uFFFD" "b");
    EXPECT_EQ(to_wide("a\xE4\xB8", 65001), u"a\uFFFD");  // truncated at the end
    EXPECT_EQ(to_wide("\xC0\xAF", 65001), u"\uFFFD\uFFFD");  // overlong
    EXPECT_EQ(to_narrow(u"a\xDC00", 65001), "a\xEF\xBF\xBD");
    // UTF-7 and GB18030 are in the same lenient group.
    EXPECT_EQ(to_wide("\x81", 54936), u"\uFFFD");
    // Strict pages reject invalid bytes of their own kind.
    EXPECT_THROW(to_wide("\x82", 932), unmappable_character);  // a lone lead byte
    EXPECT_THROW(to_wide("ab\x81", 936), unmappable_character);
    EXPECT_THROW(to_wide("abc", 1200), unmappable_character);  // odd length in UTF-16
}

TEST(convert_test, codepage_zero_follows_the_pinned_page_but_stays_strict) {
    {
        pinned_ansi pin(1252);
        EXPECT_EQ(to_wide("\x80", 0), u"\u20AC");
        EXPECT_EQ(to_narrow(u"\u00E9", 0), "\xE9");
        EXPECT_THROW(to_narrow(u"\u4E00", 0), unmappable_character);
    }
    {
        pinned_ansi pin(65001);
        EXPECT_EQ(to_wide("\xC3\xA9", 0), u"\u00E9");
        EXPECT_THROW(to_wide("\xFF", 0), unmappable_character);
        EXPECT_EQ(to_wide("\xFF", 65001), u"\uFFFD");
        EXPECT_THROW(to_narrow(u"\xD800", 0), unmappable_character);
    }
    {
        pinned_ansi pin(no_codepage);
        EXPECT_EQ(to_wide("\xE9", 0), u"\u00E9");
    }
    EXPECT_THROW(pin_ansi_codepage(0), invalid_codepage);
}

TEST(convert_test, multibyte_and_stateful_pages) {
    const std::u16string japanese = u"\u65E5\u672C\u8A9E \uFF76\uFF85 abc";
    EXPECT_EQ(to_narrow(u"\u65E5\u672C", 932), "\x93\xFA\x96\x7B");
    for (int codepage : {932, 51932, 50221, 50222, 65000, 1200, 1201, 54936, 12000})
        EXPECT_EQ(to_wide(to_narrow(japanese, codepage), codepage), japanese) << codepage;
    // Plain ISO-2022-JP has no half-width kana, and is strict about it.
    EXPECT_THROW(to_narrow(japanese, 50220), unmappable_character);
    EXPECT_EQ(to_wide("\x1B(I\x36\x1B(B\x0E\x36\x0F", 50221), u"\uFF76\uFF76");
    // ISO-2022-JP ends back in ASCII.
    const std::string jis = to_narrow(u"\u65E5a\u65E5", 50220);
    EXPECT_EQ(jis.substr(jis.size() - 3), "\x1B(B");
    EXPECT_EQ(to_narrow(u"\U0001F600", 1200), std::string("\x3D\xD8\x00\xDE", 4));
    EXPECT_EQ(to_narrow(u"A", 1201), std::string("\0A", 2));
    EXPECT_EQ(to_wide("a~~b~{<:~}c", 52936), u"a~b\u5DF1c");
    // HZ text must end in ASCII mode, or what follows it turns into GB.
    EXPECT_EQ(to_narrow(u"\u5DF1", 52936), "~{<:~}");
    EXPECT_EQ(to_narrow(u"\u5DF1a", 52936), "~{<:~}a");
    const std::string tildes = to_narrow(u"~\u5DF1~", 52936);
    EXPECT_EQ(tildes.substr(tildes.size() - 2), "~}");
    EXPECT_EQ(to_wide(tildes + "a", 52936), u"~\u5DF1~a");
    // Text that ends inside a character is never dropped silently.
    EXPECT_EQ(to_wide("a~{<", 52936), u"a\uFFFD");
    EXPECT_EQ(to_wide("a~", 52936), u"a\uFFFD");
    EXPECT_EQ(to_wide("a+AG", 65000), u"a\uFFFD");
    EXPECT_THROW(to_wide("a\x93", 932), unmappable_character);
    EXPECT_THROW(to_wide(std::string("a\0b", 3), 1200), unmappable_character);
}

TEST(convert_test, transcode_goes_through_wide_text) {
    EXPECT_EQ(transcode("caf\xC3\xA9 \xE2\x82\xAC", 65001, 1252), "caf\xE9 \x80");
    EXPECT_EQ(transcode("\xE9", 28591, 65001), "\xC3\xA9");
    EXPECT_THROW(transcode("\xE4\xB8\x80", 65001, 1252), unmappable_character);
    EXPECT_EQ(transcode("\xA4", 28605, 1252), "\x80");  // the euro sign moves
}

TEST(convert_test, representable_means_an_exact_round_trip) {
    EXPECT_FALSE(is_representable(u"\u4E00", 1252));
    EXPECT_TRUE(is_representable(u"abc", 1252));
    EXPECT_FALSE(is_representable(u"abc", 28590));
    EXPECT_TRUE(is_representable(u"\u4E00", 65001));
    EXPECT_FALSE(is_representable(u"\xD800", 65001));  // substituted, not equal
    EXPECT_TRUE(is_representable(u"\u00FF", no_codepage));
    EXPECT_FALSE(is_representable(u"\u0100", no_codepage));
    EXPECT_TRUE(is_representable(u"", 28590));
}

// Every page we claim to serve must open and carry plain ASCII letters.
TEST(convert_test, every_served_codepage_opens) {
    const std::u16string text = u"Az09 .";
    for (const auto& entry : detail::codepage_names()) {
        std::string narrow;
        ASSERT_NO_THROW(narrow = to_narrow(text, entry.codepage)) << entry.codepage << " " << entry.converter;
        EXPECT_EQ(to_wide(narrow, entry.codepage), text) << entry.codepage;
    }
}

// A byte that a strict page decodes to one character must encode back to
// that byte, or to another byte of the same meaning where a page maps two
// bytes onto one character.
TEST(convert_test, every_mapped_byte_round_trips) {
    for (const auto& entry : detail::codepage_names()) {
        if (!allows_strict_flags(entry.codepage)) continue;
        int mapped = 0;
        for (int b = 0; b < 256; ++b) {
            const std::string byte(1, static_cast<char>(b));
            std::u16string wide;
            try {
                wide = to_wide(byte, entry.codepage);
            } catch (const unmappable_character&) {
                continue;
            }
            if (wide.size() != 1) continue;
            ++mapped;
            const std::string back = to_narrow(wide, entry.codepage);
            if (back != byte) {
                EXPECT_EQ(to_wide(back, entry.codepage), wide) << entry.codepage << " byte " << b;
            }
        }
        if (entry.codepage != 1200 && entry.codepage != 1201 && entry.codepage < 12000) {
            EXPECT_GE(mapped, 64) << entry.codepage;
        }
    }
}

TEST(convert_test, single_byte_pages_agree_with_iconv) {
    const struct {
        int codepage;
        const char* iconv_name;
    } pages[] = {{1252, "CP1252"}, {28591, "ISO-8859-1"}, {28605, "ISO-8859-15"}};
    for (const auto& page : pages) {
        int compared = 0;
        for (int b = 0; b < 256; ++b) {
            const std::string byte(1, static_cast<char>(b));
            auto expected = iconv_convert(page.iconv_name, "UTF-16LE", byte);
            if (!expected) continue;
            ++compared;
            EXPECT_EQ(utf16le_bytes(to_wide(byte, page.codepage)), *expected) << page.codepage << " byte " << b;
        }
        EXPECT_GE(compared, 251) << page.codepage;
    }
}

TEST(convert_test, multibyte_pages_agree_with_iconv) {
    const struct {
        int codepage;
        const char* iconv_name;
        const char* utf8;
    } samples[] = {
        {932, "CP932", "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\xE3\x81\xAE\xE3\x83\x86\xE3\x82\xAD\xE3\x82\xB9"
                       "\xE3\x83\x88\xE3\x80\x81\xEF\xBD\xB6\xEF\xBE\x80 ABC \xE2\x91\xA0"},
        {936, "CP936", "\xE4\xB8\xAD\xE6\x96\x87\xE7\xAE\x80\xE4\xBD\x93\xE5\xAD\x97\xEF\xBC\x8C"
                       "\xE6\xB1\x89\xE5\xAD\x97 ABC \xE2\x82\xAC"},
        {65001, "UTF-8", "mixed \xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\xE4\xB8\x80 text"},
    };
    for (const auto& sample : samples) {
        auto bytes = iconv_convert("UTF-8", sample.iconv_name, sample.utf8);
        auto wide = iconv_convert("UTF-8", "UTF-16LE", sample.utf8);
        ASSERT_TRUE(bytes && wide) << sample.iconv_name;
        EXPECT_EQ(utf16le_bytes(to_wide(*bytes, sample.codepage)), *wide) << sample.codepage;
        EXPECT_EQ(to_narrow(to_wide(*bytes, sample.codepage), sample.codepage), *bytes) << sample.codepage;
    }
}

// What a conversion gave: its text, or the error it threw.
template <typename Text>
struct outcome {
    Text text;
    std::string error;
    bool operator==(const outcome&) const = default;
};

template <typename Call>
auto run(Call call) -> outcome<decltype(call())> {
    try {
        return {call(), ""};
    } catch (const generic& e) {
        return {{}, e.what()};
    }
}

template <typename Text>
void PrintTo(const outcome<Text>& o, std::ostream* os) {
    *os << o.text.size() << " units / " << o.error;
}

// Text that breaks pieces: characters of every width, lone surrogates, and
// once encoded, bytes that start, end or cut a character or an escape.
class hostile_text {
public:
    std::u16string wide() {
        static const char16_t units[] = {u'a', u'~', u'+', u'-', 0xE9, 0x20AC, 0x65E5, 0xFF76, 0x5DF1,
                                         0xD83D, 0xDE00, 0xDBFF, 0xDC00};
        std::u16string text;
        for (std::size_t n = below(40); n > 0; --n) {
            if (below(3) == 0) text += u"\U0001F600";
            else text += units[below(std::size(units))];
        }
        return text;
    }
    std::string spoil(std::string bytes) {
        static const char junk[] = "\x80\xBF\xC0\xC2\xE0\xE4\xED\xF0\xF4\xF5\xFF\x1B\x0E~{}+-$B(";
        for (std::size_t n = below(4); n > 0; --n) {
            const std::size_t at = below(bytes.size() + 1);
            if (below(2) == 0 && at < bytes.size()) bytes.erase(at, 1);
            else bytes.insert(at, 1, junk[below(sizeof junk - 1)]);
        }
        return bytes;
    }

private:
    std::size_t below(std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(engine); }
    std::mt19937 engine{20240611};
};

// Text is fed to ICU in pieces; pieces of one to seven units reach every
// boundary inside a character, a pair or an escape, and must give exactly
// what one call over the whole text gives, the same U+FFFD or the same
// error.
TEST(convert_test, pieces_give_the_whole_text_result) {
    hostile_text random;
    const int pages[] = {65001, 932, 936, 65000, 50220, 50221, 52936, 54936, 1252, 1200, no_codepage};
    for (int round = 0; round < 30; ++round) {
        for (const int page : pages) {
            const std::u16string wide = random.wide();
            const std::string bytes = random.spoil(to_narrow_substituting(wide, page, '?'));
            const std::string utf8 = random.spoil(to_narrow(wide, utf8_codepage));
            for (const bool strict : {true, false}) {
                auto to_wide_in = [&](std::size_t piece) {
                    return run([&] { return detail::wide_of(bytes, page, strict, piece); });
                };
                auto to_narrow_in = [&](std::size_t piece, const char* replacement) {
                    return run([&] { return detail::narrow_of(wide, page, strict, replacement, piece); });
                };
                const auto whole_wide = to_wide_in(detail::piece_size);
                const auto whole_narrow = to_narrow_in(detail::piece_size, nullptr);
                const auto whole_replaced = to_narrow_in(detail::piece_size, "?");
                for (std::size_t piece = 1; piece <= 7; ++piece) {
                    SCOPED_TRACE(testing::Message() << "page " << page << (strict ? " strict" : "")
                                                    << ", pieces of " << piece << ", round " << round);
                    ASSERT_EQ(to_wide_in(piece), whole_wide);
                    ASSERT_EQ(to_narrow_in(piece, nullptr), whole_narrow);
                    ASSERT_EQ(to_narrow_in(piece, "?"), whole_replaced);
                }
            }
            const auto from_page = run([&] { return detail::transcode(bytes, page, utf8_codepage); });
            const auto to_page = run([&] { return detail::transcode(utf8, utf8_codepage, page); });
            EXPECT_EQ(from_page, run([&] { return to_narrow(to_wide(bytes, page), utf8_codepage); })) << page;
            EXPECT_EQ(to_page, run([&] { return to_narrow(to_wide(utf8, utf8_codepage), page); })) << page;
            for (std::size_t piece = 1; piece <= 7; ++piece) {
                EXPECT_EQ(run([&] { return detail::transcode(bytes, page, utf8_codepage, piece); }), from_page);
                EXPECT_EQ(run([&] { return detail::transcode(utf8, utf8_codepage, page, piece); }), to_page);
            }
        }
    }
}

TEST(convert_test, long_text_grows_its_buffer) {
    std::u16string text;
    for (int i = 0; i < 20000; ++i) text += u"\u65E5a";
    const std::string jis = to_narrow(text, 50220);  // an escape at every switch
    EXPECT_GT(jis.size(), text.size() * 3);
    EXPECT_EQ(to_wide(jis, 50220), text);
}

TEST(convert_test, threads_share_no_converter_state) {
    const std::u16string japanese = u"\u65E5\u672C\u8A9E abc \uFF76";
    const std::u16string western = u"caf\u00E9 \u20AC";
    const std::string japanese_sjis = to_narrow(japanese, 932);
    const std::string western_1252 = to_narrow(western, 1252);
    std::vector<std::thread> threads;
    std::vector<int> failures(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 2000; ++i) {
                if (to_wide(japanese_sjis, 932) != japanese) ++failures[t];
                if (to_narrow(western, 1252) != western_1252) ++failures[t];
                try {
                    to_wide("ab\x82", 932);  // leaves a converter mid-sequence
                    ++failures[t];
                } catch (const unmappable_character&) {
                }
                if (to_wide(to_narrow(japanese, 50222), 50222) != japanese) ++failures[t];
            }
        });
    }
    for (auto& thread : threads) thread.join();
    for (int t = 0; t < 4; ++t) EXPECT_EQ(failures[t], 0) << "thread " << t;
}

}  // namespace

namespace {

TEST(convert_test, substituting_reads_anything_and_leaves_the_shared_converter_as_it_was) {
    using corvid::unicode::to_narrow;
    using corvid::unicode::to_narrow_substituting;
    using corvid::unicode::to_wide_substituting;
    EXPECT_EQ(to_wide_substituting("caf\xE9 ok", 65001), u"caf\uFFFD ok");
    struct row {
        const char16_t* text;
        int codepage;
        const char* expected;
    };
    const row rows[] = {
        {u"\u4E2D=\u00E9", 1252, "?=\xE9"},
        {u"\xD800 x", 65001, "? x"},
        {u"\u4E2Dx", corvid::unicode::no_codepage, "?x"},
        {u"\u4E2D\u00E9", 28591, "?\xE9"},
    };
    for (const row& r : rows) EXPECT_EQ(to_narrow_substituting(r.text, r.codepage, '?'), r.expected) << r.codepage;
    // A page that substitutes by itself keeps its own substitute afterwards.
    const std::string own = to_narrow(u"\u4E2D", 57002);
    EXPECT_EQ(to_narrow_substituting(u"\u4E2D", 57002, '#'), "#");
    EXPECT_EQ(to_narrow(u"\u4E2D", 57002), own);
}

}  // namespace
