// SPDX-License-Identifier: MIT
#include <corvid/coding/stream.h>

#include <gtest/gtest.h>

#include <corvid/coding/base64.h>
#include <corvid/coding/errors.h>
#include <corvid/coding/hex.h>
#include <corvid/coding/quoted_printable.h>
#include <corvid/coding/url.h>
#include <corvid/coding/uu.h>

#include <functional>
#include <random>
#include <string>
#include <vector>

namespace cc = corvid::coding;

namespace {

struct outcome {
    std::string out;
    std::string error;  // what() of a codec error, empty when none
    bool operator==(const outcome&) const = default;
};

void PrintTo(const outcome& o, std::ostream* os) { *os << '"' << cc::hex_encode(o.out) << "\" / " << o.error; }

outcome run(const std::function<void(std::string&)>& call) {
    outcome result;
    try {
        call(result.out);
    } catch (const cc::translate::generic& e) {
        result.error = e.what();
    }
    return result;
}

struct codec_case {
    cc::codec which;
    std::function<void(std::string_view, std::string&)> encode;
    std::function<void(std::string_view, std::string&, bool)> decode;
};

const std::vector<codec_case> codecs{
    {cc::codec::hex, [](auto b, auto& o) { cc::hex_encode(b, o); }, [](auto t, auto& o, bool s) { cc::hex_decode(t, o, s); }},
    {cc::codec::base64, [](auto b, auto& o) { cc::base64_encode(b, o, true); },
     [](auto t, auto& o, bool s) { cc::base64_decode(t, o, s); }},
    {cc::codec::uu, [](auto b, auto& o) { cc::uu_encode(b, o); }, [](auto t, auto& o, bool s) { cc::uu_decode(t, o, s); }},
    {cc::codec::quoted_printable, [](auto b, auto& o) { cc::quoted_printable_encode(b, o); },
     [](auto t, auto& o, bool s) { cc::quoted_printable_decode(t, o, s); }},
    {cc::codec::url, [](auto b, auto& o) { cc::url_encode(b, o); }, [](auto t, auto& o, bool s) { cc::url_decode(t, o, s); }},
};

// The ways to cut text into pieces: at every single offset, and into pieces
// of each small size.
std::vector<std::vector<std::size_t>> cuts(std::size_t size) {
    std::vector<std::vector<std::size_t>> all;
    for (std::size_t at = 0; at <= size; ++at) all.push_back({at});
    for (std::size_t piece = 1; piece <= 4; ++piece) {
        std::vector<std::size_t> at;
        for (std::size_t i = piece; i < size; i += piece) at.push_back(i);
        all.push_back(at);
    }
    return all;
}

template <typename Stream>
outcome in_pieces(Stream stream, const std::string& input, const std::vector<std::size_t>& at) {
    return run([&](std::string& out) {
        std::size_t from = 0;
        for (std::size_t to : at) {
            stream.step(std::string_view(input).substr(from, to - from), out);
            from = to;
        }
        stream.step(std::string_view(input).substr(from), out);
        stream.finish(out);
    });
}

// Text of the codec with, now and then, what decoders meet: line breaks,
// padding in the middle, stray markers, bytes outside every alphabet.
std::string spoil(std::string text, std::mt19937& random) {
    static const std::vector<std::string> junk{"\r\n", "=", "==", "%", "G", "`", "\xFF", " ", "=4", "%A"};
    const std::size_t spots = random() % 3;
    for (std::size_t k = 0; k < spots; ++k)
        text.insert(random() % (text.size() + 1), junk[random() % junk.size()]);
    return text;
}

TEST(stream_test, pieces_give_the_whole_input_result) {
    std::mt19937 random(1321);
    for (std::size_t size : {0, 1, 2, 3, 4, 5, 7, 16, 31}) {
        for (int round = 0; round < 6; ++round) {
            std::string bytes(size, '\0');
            for (char& c : bytes) c = static_cast<char>(round == 0 ? 'a' + random() % 26 : random() % 256);
            for (const codec_case& c : codecs) {
                SCOPED_TRACE(testing::Message() << "codec " << static_cast<int>(c.which) << ", " << size << " bytes");
                for (std::size_t wrap : {0, 1, 4, 76}) {
                    const outcome whole = run([&](std::string& o) {
                        std::string text;
                        c.encode(bytes, text);
                        for (std::size_t i = 0; i < text.size(); i += wrap == 0 ? text.size() : wrap)
                            o.append(text, i, wrap == 0 ? text.size() : wrap).append(wrap == 0 ? "" : "\n");
                    });
                    for (const auto& at : cuts(bytes.size()))
                        ASSERT_EQ(in_pieces(cc::stream_encoder(c.which, wrap), bytes, at), whole) << "wrap " << wrap;
                }
                std::string text;
                c.encode(bytes, text);
                text = spoil(text, random);
                for (bool strict : {true, false}) {
                    const outcome whole = run([&](std::string& o) { c.decode(text, o, strict); });
                    for (const auto& at : cuts(text.size()))
                        ASSERT_EQ(in_pieces(cc::stream_decoder(c.which, strict), text, at), whole)
                            << "strict " << strict << ", text " << cc::hex_encode(text);
                }
            }
        }
    }
}

// Strict errors found where a piece ends or begins, and across the cut.
TEST(stream_test, strict_errors_at_a_boundary) {
    struct row {
        cc::codec which;
        std::string first, second;
        std::string out, error;
    } rows[] = {
        {cc::codec::base64, "YQ=", "=YQ==", "a", "Invalid Codeword 0x3D"},
        {cc::codec::base64, "YW", "\nJj", "a", "Invalid Codeword 0x0A"},
        {cc::codec::hex, "6", "x1", "", "Invalid Codeword 0x78"},
        {cc::codec::quoted_printable, "a=4", "G", "a", "Invalid Codeword 0x47"},
        {cc::codec::url, "a%", "4G", "a", "Invalid Codeword 0x47"},
        {cc::codec::quoted_printable, "a=", "41", "aA", ""},
        {cc::codec::quoted_printable, "a", "=4", "a=4", ""},
    };
    for (const row& r : rows) {
        const outcome got = in_pieces(cc::stream_decoder(r.which, true), r.first + r.second, {r.first.size()});
        EXPECT_EQ(got.out, r.out) << r.first << "|" << r.second;
        EXPECT_EQ(got.error, r.error.empty() ? "" : "translate.invalid_codeword[" + r.error + "]")
            << r.first << "|" << r.second;
    }
}

}  // namespace
