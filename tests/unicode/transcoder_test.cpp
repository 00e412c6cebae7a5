// SPDX-License-Identifier: MIT
#include <corvid/unicode/transcoder.h>

#include <gtest/gtest.h>

#include <corvid/unicode/convert.h>
#include <corvid/unicode/errors.h>

#include <string>

namespace {

using namespace corvid::unicode;

struct outcome {
    std::string out;
    std::string error;  // what() of a conversion error, empty when none
    bool operator==(const outcome&) const = default;
};

void PrintTo(const outcome& o, std::ostream* os) { *os << o.out.size() << " bytes / " << o.error; }

template <typename Call>
outcome run(Call call) {
    outcome result;
    try {
        call(result.out);
    } catch (const generic& e) {
        result.error = e.what();
    }
    return result;
}

// Text cut at one offset, and into pieces of 1 to 3 bytes, converts as the
// whole text does: output, and the error when there is one.
TEST(transcoder_test, pieces_give_the_whole_text_result) {
    const std::u16string sample = u"a\u65E5\u672C~\u8A9E b\u00E9\U0001F600\uFF76c\u5DF1~";
    struct row {
        int from, to;
        std::string text;
    } rows[] = {
        {65001, 1200, to_narrow(sample, 65001)},
        {65001, 50221, to_narrow(sample, 65001)},
        {50221, 65001, to_narrow(sample, 50221)},
        {65000, 65001, to_narrow(sample, 65000)},
        {65001, 65000, to_narrow(sample, 65001)},
        {54936, 1201, to_narrow(sample, 54936)},
        {65001, 52936, to_narrow(u"a\u5DF1~b\u5DF1", 65001)},
        {52936, 65001, "a~~b~{<:<:~}c~{<:"},
        {932, 65001, to_narrow(u"\u65E5\u672Ca\uFF76", 932)},
        {65001, 28591, "caf\xC3\xA9 and \xE2\x82\xAC"},              // unmappable in the middle
        {65001, 1252, "a\xE2\x82"},                                   // cut short at the end
        {65001, 65001, "a\xC3\xA9\xF0\x9F\x98\x80\xE0\x80\xC0\xFF"},  // invalid sequences substituted
        {932, 65001, "a\x93"},
        {932, 65001, "a\x81\x20" "b\xA0"},  // invalid in the middle
        {52936, 65001, "a~{<"},
        {no_codepage, 65001, "\x00\x80\xFF"},
        {65001, no_codepage, "\xC3\xA9\xE2\x82\xAC"},
        {1200, 65001, std::string("a\0\x3D\xD8\x00\xDE", 6)},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(testing::Message() << r.from << " to " << r.to);
        const outcome whole = run([&](std::string& out) { out = transcode(r.text, r.from, r.to); });
        std::vector<std::vector<std::size_t>> cuts;
        for (std::size_t at = 0; at <= r.text.size(); ++at) cuts.push_back({at});
        for (std::size_t piece = 1; piece <= 3; ++piece) {
            cuts.emplace_back();
            for (std::size_t at = piece; at < r.text.size(); at += piece) cuts.back().push_back(at);
        }
        // Substituting, every text reads; towards UTF-8 nothing is unmappable.
        const bool substitutes = r.to == 65001;
        const outcome read_anyway = run([&](std::string& out) { out = to_narrow(to_wide_substituting(r.text, r.from), 65001); });
        for (const auto& at : cuts) {
            const auto pieces_of = [&](bool substituting) {
                return run([&](std::string& out) {
                transcoder converter(r.from, r.to, substituting);
                std::size_t from = 0;
                for (std::size_t to : at) {
                    converter.step(std::string_view(r.text).substr(from, to - from), out);
                    from = to;
                }
                converter.step(std::string_view(r.text).substr(from), out);
                converter.finish(out);
                });
            };
            if (substitutes) {
                ASSERT_EQ(pieces_of(true), read_anyway) << "substituting, cut at " << (at.empty() ? 0 : at[0]);
            }
            const outcome pieces = pieces_of(false);
            if (whole.error.empty())
                ASSERT_EQ(pieces, whole) << "cut at " << (at.empty() ? 0 : at[0]);
            else  // the pieces before the failing one may have been converted
                ASSERT_EQ(pieces.error, whole.error) << "cut at " << (at.empty() ? 0 : at[0]);
        }
    }
}

TEST(transcoder_test, empty_text_needs_no_valid_codepage) {
    transcoder converter(28590, 28590);
    std::string out;
    converter.step("", out);
    converter.finish(out);
    EXPECT_EQ(out, "");
    transcoder invalid(28590, 65001);
    EXPECT_THROW(invalid.step("a", out), invalid_codepage);
}

}  // namespace
