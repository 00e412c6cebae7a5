// SPDX-License-Identifier: MIT
#include <corvid/coding/quoted_printable.h>

#include <corvid/coding/fast.h>

namespace corvid::coding {

namespace {

constexpr detail::plain_set make_plain() {
    detail::plain_set plain{};
    for (unsigned c = 0x20; c < 0x7F; ++c) plain[c] = true;
    // "=" would start an escape; the other three would end or split an
    // encoded word.
    for (unsigned char c : {'=', '"', '?', '_'}) plain[c] = false;
    return plain;
}

}  // namespace

constexpr detail::plain_set detail::quoted_printable_plain = make_plain();

std::string quoted_printable_encode(std::string_view bytes) {
    std::string text;
    text.reserve(bytes.size());
    quoted_printable_encode(bytes, text);
    return text;
}

void quoted_printable_encode(std::string_view bytes, std::string& out) {
    detail::escape_encode(bytes, out, detail::quoted_printable_plain, '=');
}

std::string quoted_printable_decode(std::string_view text) {
    std::string bytes;
    quoted_printable_decode(text, bytes, true);
    return bytes;
}

void quoted_printable_decode(std::string_view text, std::string& out, bool strict) {
    detail::escape_decode(text, out, '=', strict);
}

}  // namespace corvid::coding
