// SPDX-License-Identifier: MIT
#ifndef CORVID_CODING_FAST_H
#define CORVID_CODING_FAST_H

// Internal: the table-driven routes of the codecs. Each gives exactly the
// result of the plain engine in bits.h (tests/coding/bits_test.cpp holds
// them to it) and only takes a wider step while the input is clean.

#include <corvid/coding/bits.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace corvid::coding::detail {

// True when view points into out's storage, so that growing out would
// leave the view dangling.
inline bool overlaps(std::string_view view, const std::string& out) noexcept {
    std::less_equal<const char*> le;
    std::less<const char*> lt;
    return !view.empty() && le(out.data(), view.data()) && lt(view.data(), out.data() + out.capacity() + 1);
}

// Output gathered in a small buffer that stays in the cache and appended in
// pieces: a result of many megabytes is then written once, where resizing
// it first would clear it and write it again. Flush before throwing, so the
// caller keeps what was decoded.
class piece_writer {
public:
    static constexpr std::size_t capacity = 16384;

    explicit piece_writer(std::string& out) : out(out) {}
    // Room for at least n more bytes (n <= capacity).
    char* room(std::size_t n) {
        if (used + n > capacity) flush();
        return buffer + used;
    }
    void advance(char* end) { used = static_cast<std::size_t>(end - buffer); }
    void flush() {
        out.append(buffer, used);
        used = 0;
    }

private:
    std::string& out;
    std::size_t used = 0;
    char buffer[capacity];
};

// Base64 routes for CPUs with AVX2 (fast_avx2.cpp), used while
// vector_routes() holds. Encoding takes whole groups, at least 8, and
// returns the end of the symbols written. Decoding takes 32 clean symbols
// at a time (with skip_breaks, also across CR and LF), writing 32 bytes for
// each 24 decoded; it advances to and returns where it stopped.
char* avx2_base64_encode(const unsigned char* from, std::size_t groups, char* to);
// Whole lines of line_groups groups (at least 8), each followed by CR LF.
char* avx2_base64_encode_lines(const unsigned char* from, std::size_t lines, std::size_t line_groups, char* to);
const unsigned char* avx2_base64_decode(const unsigned char* from, const unsigned char* end, char*& to,
                                        bool skip_breaks);
// True when the CPU has AVX2 and the vector routes are not switched off.
extern std::atomic<bool> vector_routes_on;
inline bool vector_routes() noexcept { return vector_routes_on.load(std::memory_order_relaxed); }
// Switches the vector routes on or off (the tests compare them with the
// table routes); returns vector_routes().
bool use_vector_routes(bool on);

// Base64 and the uuencode alphabet: three bytes to four symbols by two
// 12-bit lookups, four symbols to three bytes by four pre-shifted lookups
// whose top byte flags anything that is not a symbol.
class sextet_codec {
public:
    constexpr sextet_codec(std::string_view alphabet, const decode_table& table)
        : table_(table), base64_(alphabet == base64_alphabet && table == base64_table) {
        for (unsigned i = 0; i < 4096; ++i) {
            pairs_[i][0] = alphabet[i >> 6];
            pairs_[i][1] = alphabet[i & 63];
        }
        for (unsigned i = 0; i < 64; ++i) symbols_[i] = alphabet[i];
        for (unsigned c = 0; c < 256; ++c) {
            std::int16_t symbol = table[c];
            for (unsigned k = 0; k < 4; ++k)
                shifted_[k][c] = symbol < 0 ? not_clean : static_cast<std::uint32_t>(symbol) << (18 - 6 * k);
        }
    }

    // Appends the symbols of bytes, without padding; out gets room for
    // `padding` more bytes, which the caller appends.
    void encode(std::string_view bytes, std::string& out, std::size_t padding = 0) const;
    // Appends the decoded bytes; on a throw, what was decoded so far stays.
    // State carries an unfinished group into the next call.
    void decode(std::string_view text, std::string& out, bool strict, decode_state& state) const;

    // Appends the symbols of bytes in lines of line_length symbols (a
    // multiple of 4) with CR LF between two lines and none after the last;
    // with pad, the last group is completed with "=".
    void encode_lines(std::string_view bytes, std::string& out, std::size_t line_length, bool pad) const;
    // Decodes the symbols of text, skipping CR and LF, up to the first byte
    // that is neither; returns its offset (text.size() when there is none).
    // Bits left over where decoding stops are dropped. The message reader
    // decodes a whole base64 section with one call.
    std::size_t decode_lines(std::string_view text, std::string& out) const;

private:
    static constexpr std::uint32_t not_clean = 0xFF000000u;

    enum class mode { strict, lenient, lines };
    // Decodes up to the end, or in lines mode up to the first byte that is
    // neither a symbol nor CR or LF; returns how far it got.
    std::size_t decode_text(std::string_view text, std::string& out, mode how, decode_state& state) const;
    bool vectors() const noexcept { return base64_ && vector_routes(); }

    // Whole groups of three bytes; returns the end of the symbols written.
    char* encode_groups(const unsigned char* from, std::size_t groups, char* to) const;
    // One or two bytes left over, or none.
    char* encode_tail(const unsigned char* from, std::size_t rest, char* to) const;

    char pairs_[4096][2]{};
    char symbols_[64]{};
    std::uint32_t shifted_[4][256]{};
    decode_table table_;
    bool base64_;
};

// Quoted-printable and URL escapes: a byte that is not plain becomes the
// marker and two upper-case hexadecimal digits.
using plain_set = std::array<bool, 256>;
void escape_encode(std::string_view bytes, std::string& out, const plain_set& plain, char marker);
// The marker with two more bytes after it is an escape; one whose digits are
// not hexadecimal throws (strict, naming the first bad digit) or stays as a
// literal marker. Unless last, a marker too near the end to tell waits:
// returns how many bytes were consumed (all of them when last).
std::size_t escape_decode(std::string_view text, std::string& out, char marker, bool strict, bool last = true);

// Hexadecimal decoding; high holds a digit waiting for its partner (-1 none).
void hex_decode(std::string_view text, std::string& out, bool strict, int& high);

// The sextet codecs of base64.cpp and uu.cpp.
extern const sextet_codec base64_codec;
extern const sextet_codec uu_codec;
// The bytes that quoted-printable text carries as themselves.
extern const plain_set quoted_printable_plain;

}  // namespace corvid::coding::detail

#endif
