// SPDX-License-Identifier: MIT
#ifndef CORVID_CODING_BITS_H
#define CORVID_CODING_BITS_H

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

// The two generic engines behind the alphabet codecs, and their alphabets
// and decode tables. An engine slices a bit stream into symbols of a fixed
// width (1 to 24 bits) and looks them up; the codecs in hex.h, base64.h and
// uu.h are thin, faster wrappers that give exactly the engines' results.
//
// The engines throw translate::invalid_codeword for an invalid byte in strict
// mode (see errors.h), and translate::generic for a width outside 1 to 24
// or a mask that reaches past the alphabet.
namespace corvid::coding {

// A decode table has one entry per byte value, indexed as unsigned: the
// symbol's value, invalid_symbol or skipped_symbol.
using decode_table = std::array<std::int16_t, 256>;
inline constexpr std::int16_t invalid_symbol = -1;
inline constexpr std::int16_t skipped_symbol = -2;

inline constexpr std::string_view hex_alphabet = "0123456789abcdef";
inline constexpr std::string_view base64_alphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
// Space (0x20) to underscore (0x5F) in ASCII order.
inline constexpr std::string_view uu_alphabet =
    " !\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_";

namespace detail {

// What a decoder carries from one piece of text to the next: the bits of an
// unfinished symbol group, and in strict mode the padding byte seen, after
// which no further symbol may come.
struct decode_state {
    std::uint32_t accumulator = 0;
    unsigned pending = 0;
    int padding = -1;
};

consteval decode_table make_decode_table(std::string_view alphabet) {
    decode_table table{};
    for (auto& entry : table) entry = invalid_symbol;
    for (std::size_t i = 0; i < alphabet.size(); ++i)
        table[static_cast<unsigned char>(alphabet[i])] = static_cast<std::int16_t>(i);
    return table;
}

consteval decode_table make_hex_table() {
    decode_table table = make_decode_table(hex_alphabet);
    for (int i = 0; i < 6; ++i) table['A' + i] = static_cast<std::int16_t>(10 + i);
    return table;
}

consteval decode_table make_base64_table() {
    decode_table table = make_decode_table(base64_alphabet);
    // Padding carries no bits, so it is skipped; in strict mode only at the end.
    table['='] = skipped_symbol;
    return table;
}

consteval decode_table make_uu_table() {
    decode_table table = make_decode_table(uu_alphabet);
    // Many encoders write a back-quote instead of a space for zero bits.
    table['`'] = 0;
    return table;
}

}  // namespace detail

// "0"-"9", "A"-"F" and "a"-"f"; nothing skipped.
inline constexpr decode_table hex_table = detail::make_hex_table();
// The 64 alphabet characters; "=" skipped.
inline constexpr decode_table base64_table = detail::make_base64_table();
// 0x20-0x5F, and the back-quote as 0; nothing skipped.
inline constexpr decode_table uu_table = detail::make_uu_table();

// Appends one symbol per `bits` bits of bytes, most significant bits first;
// the last symbol is completed with zero bits. Empty input appends nothing.
void encode_bits(std::string_view bytes, std::string& out, std::string_view alphabet, unsigned bits, unsigned mask);
// Inserts the symbols of value in front of out, without leading zero
// symbols; the value 0 gives one symbol.
void encode_bits(std::uint64_t value, std::string& out, std::string_view alphabet, unsigned bits, unsigned mask);

// Appends every complete byte of the symbols in text; bits left over at the
// end (fewer than 8) are dropped. Skipped bytes are ignored; invalid bytes
// throw in strict mode and are ignored otherwise. In strict mode a symbol
// after a skipped byte throws too, naming the skipped byte. Bytes appended before a
// throw stay in out.
void decode_bits(std::string_view text, std::string& out, const decode_table& table, unsigned bits, unsigned mask,
                 bool strict);
// Shifts each symbol into value (which keeps what it held on entry); bits
// shifted out at the top are lost.
void decode_bits(std::string_view text, std::uint64_t& value, const decode_table& table, unsigned bits,
                 unsigned mask, bool strict);

// Throws translate::invalid_codeword naming the byte ("Invalid Codeword 0x0D").
[[noreturn]] void throw_invalid_codeword(unsigned char byte);

}  // namespace corvid::coding

#endif
