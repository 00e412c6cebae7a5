// SPDX-License-Identifier: MIT
#include <corvid/coding/base64.h>

#include <corvid/coding/bits.h>
#include <corvid/coding/fast.h>

namespace corvid::coding {

constexpr detail::sextet_codec detail::base64_codec(base64_alphabet, base64_table);

namespace {

// Padding counts the whole string, not only what this call wrote.
void pad_whole(std::string& out) {
    if (out.size() % 4 != 0) out.append(4 - out.size() % 4, '=');
}

}  // namespace

std::string base64_encode(std::string_view bytes, bool pad) {
    std::string text;
    base64_encode(bytes, text, pad);
    return text;
}

void base64_encode(std::string_view bytes, std::string& out, bool pad) {
    // Room for the padding too, or appending it would move everything once
    // more.
    const std::size_t rest = bytes.size() % 3;
    const std::size_t whole = out.size() + bytes.size() / 3 * 4 + (rest == 0 ? 0 : rest + 1);
    detail::base64_codec.encode(bytes, out, pad ? (4 - whole % 4) % 4 : 0);
    if (pad) pad_whole(out);
}

std::string base64_encode(std::uint64_t value, bool pad) {
    std::string text;
    base64_encode(value, text, pad);
    return text;
}

void base64_encode(std::uint64_t value, std::string& out, bool pad) {
    encode_bits(value, out, base64_alphabet, 6, 63);
    if (pad) pad_whole(out);
}

std::string base64_decode(std::string_view text, bool strict) {
    std::string bytes;
    base64_decode(text, bytes, strict);
    return bytes;
}

void base64_decode(std::string_view text, std::string& out, bool strict) {
    detail::decode_state state;
    detail::base64_codec.decode(text, out, strict, state);
}

void base64_decode(std::string_view text, std::uint64_t& value, bool strict) {
    decode_bits(text, value, base64_table, 6, 63, strict);
}

}  // namespace corvid::coding
