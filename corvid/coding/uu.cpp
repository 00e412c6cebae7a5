// SPDX-License-Identifier: MIT
#include <corvid/coding/uu.h>

#include <corvid/coding/bits.h>
#include <corvid/coding/fast.h>

namespace corvid::coding {

constexpr detail::sextet_codec detail::uu_codec(uu_alphabet, uu_table);

std::string uu_encode(std::string_view bytes) {
    std::string text;
    uu_encode(bytes, text);
    return text;
}

void uu_encode(std::string_view bytes, std::string& out) { detail::uu_codec.encode(bytes, out); }

std::string uu_encode(std::uint64_t value) {
    std::string text;
    uu_encode(value, text);
    return text;
}

void uu_encode(std::uint64_t value, std::string& out) { encode_bits(value, out, uu_alphabet, 6, 63); }

std::string uu_decode(std::string_view text, bool strict) {
    std::string bytes;
    uu_decode(text, bytes, strict);
    return bytes;
}

void uu_decode(std::string_view text, std::string& out, bool strict) {
    detail::decode_state state;
    detail::uu_codec.decode(text, out, strict, state);
}

void uu_decode(std::string_view text, std::uint64_t& value, bool strict) {
    decode_bits(text, value, uu_table, 6, 63, strict);
}

}  // namespace corvid::coding
