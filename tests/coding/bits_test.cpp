// SPDX-License-Identifier: MIT
#include <corvid/coding/bits.h>

#include <gtest/gtest.h>

#include <corvid/coding/base64.h>
#include <corvid/coding/errors.h>
#include <corvid/coding/fast.h>
#include <corvid/coding/hex.h>
#include <corvid/coding/quoted_printable.h>
#include <corvid/coding/url.h>
#include <corvid/coding/uu.h>
#include <corvid/format.h>

#include <algorithm>
#include <functional>
#include <iostream>
#include <random>
#include <string>

namespace cc = corvid::coding;
using namespace std::string_literals;

namespace {

TEST(bits_test, engines_at_other_widths) {
    std::string out;
    cc::encode_bits("\xA5"s, out, "01", 1, 1);
    EXPECT_EQ(out, "10100101");
    out.clear();
    cc::encode_bits("\xFF"s, out, "01234567", 3, 7);  // 8 bits: two symbols and a completed one
    EXPECT_EQ(out, "776");
    std::string bytes;
    cc::decode_bits("776", bytes, cc::hex_table, 3, 7, true);
    EXPECT_EQ(bytes, "\xFF"s);
    EXPECT_THROW(cc::encode_bits("a", out, "01", 0, 1), cc::translate::generic);
    EXPECT_THROW(cc::encode_bits(std::uint64_t{5}, out, "01", 1, 3), cc::translate::generic);
    std::uint64_t value = 0;
    EXPECT_THROW(cc::decode_bits("a", value, cc::hex_table, 64, 15, false), cc::translate::generic);
}

TEST(bits_test, lines_too_short_for_a_group_hold_one) {
    for (std::size_t line_length : {0, 3}) {
        std::string out = "p";
        cc::detail::base64_codec.encode_lines("abcdefg", out, line_length, true);
        EXPECT_EQ(out, "pYWJj\r\nZGVm\r\nZw==") << line_length;
    }
}

// ---- The codecs' fast routes against the plain engines ----

struct outcome {
    std::string out;
    std::string error;  // what() of a translate error, empty when none
    bool operator==(const outcome&) const = default;
};

void PrintTo(const outcome& o, std::ostream* os) { *os << '"' << cc::hex_encode(o.out) << "\" / " << o.error; }

outcome run(const std::string& prefix, const std::function<void(std::string&)>& call) {
    outcome result{prefix, {}};
    try {
        call(result.out);
    } catch (const cc::translate::generic& e) {
        result.error = e.what();
    }
    return result;
}

void pad_whole(std::string& out) {
    while (out.size() % 4 != 0) out += '=';
}

std::string with_line_breaks(const std::string& text, std::size_t line_length) {
    std::string lines;
    for (std::size_t i = 0; i < text.size(); i += line_length)
        lines += (i == 0 ? "" : "\r\n") + text.substr(i, line_length);
    return lines;
}

bool base64_symbol_or_break(char c) {
    return c == '\r' || c == '\n' || cc::base64_table[static_cast<unsigned char>(c)] >= 0;
}

// Escape decoding exactly as its definition reads: a strict two-digit hex
// decode for each marker with two more bytes behind it.
void plain_escape_decode(const std::string& text, std::string& out, char marker, bool strict) {
    for (std::size_t i = 0; i < text.size();) {
        if (text[i] == marker && text.size() - i > 2) {
            try {
                out += cc::hex_decode(text.substr(i + 1, 2), true);
                i += 3;
                continue;
            } catch (const cc::translate::generic&) {
                if (strict) throw;
            }
        }
        out += text[i++];
    }
}

void plain_escape_encode(const std::string& bytes, std::string& out, char marker, bool (*plain)(unsigned char)) {
    for (unsigned char c : bytes)
        out += plain(c) ? std::string(1, static_cast<char>(c)) : marker + corvid::format("%.2X", c);
}

class random_input {
public:
    explicit random_input(unsigned seed) : engine(seed) {}

    std::size_t below(std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(engine); }

    std::string bytes(std::size_t max_size) {
        std::string result(below(max_size + 1), '\0');
        for (char& c : result) c = static_cast<char>(below(256));
        return result;
    }

    // Mostly clean text with, now and then, the things decoders meet: line
    // breaks, spaces, padding, bytes outside the alphabet, stray markers.
    std::string spoil(std::string text, const std::string& junk) {
        const std::size_t spots = below(4) == 0 ? 0 : below(6);
        for (std::size_t k = 0; k < spots; ++k) {
            std::string insert;
            switch (below(4)) {
                case 0: insert = "\r\n"; break;
                case 1: insert = std::string(1, junk[below(junk.size())]); break;
                case 2: insert = std::string(1, static_cast<char>(below(256))); break;
                default: insert = std::string(1 + below(2), '=');
            }
            text.insert(below(text.size() + 1), insert);
        }
        return text;
    }

    std::string prefix() { return below(2) == 0 ? "" : std::string(below(7), 'p'); }

private:
    std::mt19937 engine;
};

// Both routes of the sextet codec against the plain engine: the vector
// routes where the CPU has them, then the table routes alone.
class vector_routes_switch {
public:
    explicit vector_routes_switch(bool on) { cc::detail::use_vector_routes(on); }
    ~vector_routes_switch() { cc::detail::use_vector_routes(true); }
};

TEST(bits_test, fast_routes_equal_the_plain_engines) {
    if (!cc::detail::use_vector_routes(true)) std::cout << "No AVX2 here: the vector routes are not compared\n";
    for (bool vector : {true, false}) {
        if (vector && !cc::detail::vector_routes()) continue;
        const vector_routes_switch routes(vector);
        SCOPED_TRACE(vector ? "vector routes" : "table routes");
        random_input random(20240611);
        const std::string junk = " \t=%_-?\x80\xFF`~GgZz{}";
        // Every byte value within a block of symbols, where line breaks stand too.
        for (int c = 0; c < 256; ++c) {
            std::string text = cc::base64_encode(std::string(90, static_cast<char>(c)), false);
            text.insert(text.begin() + c % 70, static_cast<char>(c));
            for (bool strict : {true, false})
                EXPECT_EQ(run("", [&](std::string& o) { cc::base64_decode(text, o, strict); }),
                          run("", [&](std::string& o) { cc::decode_bits(text, o, cc::base64_table, 6, 63, strict); }))
                    << text;
        }
        for (int round = 0; round < 3000; ++round) {
            // Now and then inputs long enough to cross the pieces that the fast
            // routes work in.
            const std::string bytes = random.bytes(round % 300 == 0 ? 70000 : round % 10 == 0 ? 2000 : 120);
            const std::string before = random.prefix();
            const bool pad = random.below(2) == 0;
            SCOPED_TRACE(corvid::format("round %d, %zu bytes", round, bytes.size()));

            // Encoders.
            EXPECT_EQ(run(before, [&](std::string& o) { cc::hex_encode(bytes, o); }),
                      run(before, [&](std::string& o) { cc::encode_bits(bytes, o, cc::hex_alphabet, 4, 15); }));
            EXPECT_EQ(run(before, [&](std::string& o) { cc::base64_encode(bytes, o, pad); }),
                      run(before, [&](std::string& o) {
                          cc::encode_bits(bytes, o, cc::base64_alphabet, 6, 63);
                          if (pad) pad_whole(o);
                      }));
            const std::size_t line_length = round % 3 == 0 ? 4 * (1 + round % 25) : 76;
            const auto& base64_codec = cc::detail::base64_codec;
            EXPECT_EQ(run(before, [&](std::string& o) { base64_codec.encode_lines(bytes, o, line_length, pad); }),
                      run(before, [&](std::string& o) {
                          for (std::size_t i = 0; i < bytes.size(); i += line_length / 4 * 3) {
                              if (i != 0) o += "\r\n";
                              std::string line;
                              cc::encode_bits(bytes.substr(i, line_length / 4 * 3), line, cc::base64_alphabet, 6, 63);
                              if (pad) pad_whole(line);
                              o += line;
                          }
                      }));
            EXPECT_EQ(run(before, [&](std::string& o) { cc::uu_encode(bytes, o); }),
                      run(before, [&](std::string& o) { cc::encode_bits(bytes, o, cc::uu_alphabet, 6, 63); }));
            EXPECT_EQ(run(before, [&](std::string& o) { cc::quoted_printable_encode(bytes, o); }),
                      run(before, [&](std::string& o) {
                          plain_escape_encode(bytes, o, '=', [](unsigned char c) {
                              return c >= 0x20 && c < 0x7F && c != '=' && c != '"' && c != '?' && c != '_';
                          });
                      }));
            EXPECT_EQ(run(before, [&](std::string& o) { cc::url_encode(bytes, o); }),
                      run(before, [&](std::string& o) {
                          plain_escape_encode(bytes, o, '%', [](unsigned char c) {
                              return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
                          });
                      }));

            // Decoders, on clean and spoiled text, strict and lenient.
            const std::string hex = random.spoil(cc::hex_encode(bytes), junk);
            const std::string base64 = random.spoil(cc::base64_encode(bytes, pad), junk);
            // A body as mail has it: lines and CR LF, spoiled now and then.
            const std::string lines = random.spoil(with_line_breaks(cc::base64_encode(bytes, pad), line_length), junk);
            const std::string uu = random.spoil(cc::uu_encode(bytes), junk + "abc");
            const std::string qp = random.spoil(cc::quoted_printable_encode(bytes), junk);
            const std::string url = random.spoil(cc::url_encode(bytes), junk);
            for (bool strict : {true, false}) {
                EXPECT_EQ(run(before, [&](std::string& o) { cc::hex_decode(hex, o, strict); }),
                          run(before, [&](std::string& o) { cc::decode_bits(hex, o, cc::hex_table, 4, 15, strict); }))
                    << hex;
                EXPECT_EQ(run(before, [&](std::string& o) { cc::base64_decode(base64, o, strict); }),
                          run(before,
                              [&](std::string& o) { cc::decode_bits(base64, o, cc::base64_table, 6, 63, strict); }))
                    << base64;
                EXPECT_EQ(run(before, [&](std::string& o) { cc::base64_decode(lines, o, strict); }),
                          run(before,
                              [&](std::string& o) { cc::decode_bits(lines, o, cc::base64_table, 6, 63, strict); }))
                    << lines;
                // In two pieces, the unfinished group carried from one to the next.
                const std::size_t cut = random.below(lines.size() + 1);
                EXPECT_EQ(run(before,
                              [&](std::string& o) {
                                  cc::detail::decode_state state;
                                  base64_codec.decode(lines.substr(0, cut), o, strict, state);
                                  base64_codec.decode(lines.substr(cut), o, strict, state);
                              }),
                          run(before,
                              [&](std::string& o) { cc::decode_bits(lines, o, cc::base64_table, 6, 63, strict); }))
                    << lines;
                EXPECT_EQ(run(before, [&](std::string& o) { cc::uu_decode(uu, o, strict); }),
                          run(before, [&](std::string& o) { cc::decode_bits(uu, o, cc::uu_table, 6, 63, strict); }))
                    << uu;
                EXPECT_EQ(run(before, [&](std::string& o) { cc::quoted_printable_decode(qp, o, strict); }),
                          run(before, [&](std::string& o) { plain_escape_decode(qp, o, '=', strict); }))
                    << qp;
                EXPECT_EQ(run(before, [&](std::string& o) { cc::url_decode(url, o, strict); }),
                          run(before, [&](std::string& o) { plain_escape_decode(url, o, '%', strict); }))
                    << url;
            }
            // Whole-string forms give the appending forms' result or throw.
            if (run("", [&](std::string& o) { cc::base64_decode(base64, o, true); }).error.empty())
                EXPECT_EQ(cc::base64_decode(base64, true),
                          run("", [&](std::string& o) { cc::base64_decode(base64, o, true); }).out);
            else
                EXPECT_THROW(cc::base64_decode(base64, true), cc::translate::invalid_codeword);
            // Decoding lines stops at the first byte that is neither a symbol
            // nor CR or LF, and says where.
            const std::size_t stop = static_cast<std::size_t>(
                std::find_if_not(lines.begin(), lines.end(), base64_symbol_or_break) - lines.begin());
            EXPECT_EQ(run(before,
                          [&](std::string& o) {
                              const std::size_t at = base64_codec.decode_lines(lines, o);
                              o.append("@").append(std::to_string(at));
                          }),
                      run(before,
                          [&](std::string& o) {
                              cc::decode_bits(lines.substr(0, stop), o, cc::base64_table, 6, 63, false);
                              o.append("@").append(std::to_string(stop));
                          }))
                << lines;
            if (::testing::Test::HasFailure()) break;
        }
    }
}

}  // namespace
