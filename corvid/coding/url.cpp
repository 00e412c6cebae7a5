// SPDX-License-Identifier: MIT
#include <corvid/coding/url.h>

#include <corvid/coding/fast.h>

namespace corvid::coding {

namespace {

// ASCII letters and digits only, whatever the global locale.
constexpr detail::plain_set make_plain() {
    detail::plain_set plain{};
    for (unsigned c = '0'; c <= '9'; ++c) plain[c] = true;
    for (unsigned c = 'A'; c <= 'Z'; ++c) plain[c] = true;
    for (unsigned c = 'a'; c <= 'z'; ++c) plain[c] = true;
    return plain;
}
constexpr detail::plain_set plain = make_plain();

}  // namespace

std::string url_encode(std::string_view bytes) {
    std::string text;
    text.reserve(bytes.size());
    url_encode(bytes, text);
    return text;
}

void url_encode(std::string_view bytes, std::string& out) { detail::escape_encode(bytes, out, plain, '%'); }

std::string url_decode(std::string_view text) {
    std::string bytes;
    url_decode(text, bytes, true);
    return bytes;
}

void url_decode(std::string_view text, std::string& out, bool strict) {
    detail::escape_decode(text, out, '%', strict);
}

}  // namespace corvid::coding
