// SPDX-License-Identifier: MIT
#include <corvid/coding/hex.h>

#include <corvid/coding/bits.h>
#include <corvid/coding/fast.h>

#include <cstring>

namespace corvid::coding {

namespace {

struct digit_pairs {
    char pair[256][2];
    constexpr digit_pairs() : pair{} {
        for (unsigned i = 0; i < 256; ++i) {
            pair[i][0] = hex_alphabet[i >> 4];
            pair[i][1] = hex_alphabet[i & 15];
        }
    }
};
constexpr digit_pairs pairs;

}  // namespace

std::string hex_encode(std::string_view bytes) {
    std::string text;
    text.reserve(bytes.size() * 2);
    hex_encode(bytes, text);
    return text;
}

void hex_encode(std::string_view bytes, std::string& out) {
    std::string copy;
    if (detail::overlaps(bytes, out)) bytes = copy.assign(bytes);
    out.reserve(out.size() + bytes.size() * 2);
    detail::piece_writer writer(out);
    constexpr std::size_t piece = detail::piece_writer::capacity / 2;
    for (std::size_t offset = 0; offset < bytes.size(); offset += piece) {
        char* to = writer.room(detail::piece_writer::capacity);
        for (unsigned char byte : bytes.substr(offset, piece)) {
            std::memcpy(to, pairs.pair[byte], 2);
            to += 2;
        }
        writer.advance(to);
    }
    writer.flush();
}

std::string hex_encode(std::uint64_t value) {
    std::string text;
    text.reserve(16);
    hex_encode(value, text);
    return text;
}

void hex_encode(std::uint64_t value, std::string& out) { encode_bits(value, out, hex_alphabet, 4, 15); }

std::string hex_decode(std::string_view text, bool strict) {
    std::string bytes;
    bytes.reserve(text.size() / 2);
    hex_decode(text, bytes, strict);
    return bytes;
}

void hex_decode(std::string_view text, std::string& out, bool strict) {
    int high = -1;
    detail::hex_decode(text, out, strict, high);
}

void detail::hex_decode(std::string_view text, std::string& out, bool strict, int& high) {
    std::string copy;
    if (detail::overlaps(text, out)) text = copy.assign(text);
    out.reserve(out.size() + text.size() / 2);
    detail::piece_writer writer(out);
    const auto* from = reinterpret_cast<const unsigned char*>(text.data());
    const auto* const end = from + text.size();

    // While no digit waits for its partner, pairs are taken whole.
    while (from != end) {
        constexpr std::size_t piece = detail::piece_writer::capacity * 2;
        const auto* const stop = end - from > static_cast<std::ptrdiff_t>(piece) ? from + piece : end;
        char* to = writer.room(detail::piece_writer::capacity);
        while (from != stop) {
            if (high < 0) {
                while (stop - from >= 2) {
                    const std::int16_t h = hex_table[from[0]];
                    const std::int16_t l = hex_table[from[1]];
                    if ((h | l) < 0) break;
                    *to++ = static_cast<char>((h << 4) | l);
                    from += 2;
                }
                if (from == stop) break;
            }
            const unsigned char byte = *from++;
            const std::int16_t digit = hex_table[byte];
            if (digit < 0) {
                if (strict) {
                    writer.advance(to);
                    writer.flush();
                    throw_invalid_codeword(byte);
                }
                continue;
            }
            if (high < 0) {
                high = digit;
            } else {
                *to++ = static_cast<char>((high << 4) | digit);
                high = -1;
            }
        }
        writer.advance(to);
        writer.flush();
    }
}

void hex_decode(std::string_view text, std::uint64_t& value, bool strict) {
    decode_bits(text, value, hex_table, 4, 15, strict);
}

}  // namespace corvid::coding
