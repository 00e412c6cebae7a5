// SPDX-License-Identifier: MIT
#include <corvid/text.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace corvid {

namespace {

// Deliberately not tolower/toupper: those follow the global locale, and a
// plain char above 127 passed to them is undefined behaviour.
template <typename Char>
constexpr Char ascii_lower(Char c) noexcept {
    return c >= Char('A') && c <= Char('Z') ? static_cast<Char>(c + ('a' - 'A')) : c;
}

template <typename Char>
constexpr Char ascii_upper(Char c) noexcept {
    return c >= Char('a') && c <= Char('z') ? static_cast<Char>(c - ('a' - 'A')) : c;
}

template <typename Char>
bool iequals_impl(std::basic_string_view<Char> a, std::basic_string_view<Char> b) noexcept {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (ascii_lower(a[i]) != ascii_lower(b[i])) return false;
    return true;
}

template <typename Char>
bool all_digits_impl(std::basic_string_view<Char> text) noexcept {
    for (Char c : text)
        if (c < Char('0') || c > Char('9')) return false;
    return true;
}

template <typename String>
String& lower_impl(String& text) noexcept {
    for (auto& c : text) c = ascii_lower(c);
    return text;
}

template <typename String>
String& upper_impl(String& text) noexcept {
    for (auto& c : text) c = ascii_upper(c);
    return text;
}

template <typename Char>
std::basic_string<Char>& replace_all_impl(std::basic_string<Char>& text, std::basic_string_view<Char> pattern,
                                          std::basic_string_view<Char> replacement) {
    // Builds the result in one pass: erasing and inserting in place would
    // move the tail once per occurrence. The views may point into text, so
    // it is overwritten only at the end.
    if (pattern.empty()) return text;
    std::basic_string_view<Char> source(text);
    std::size_t found = source.find(pattern);
    if (found == source.npos) return text;
    std::basic_string<Char> result;
    result.reserve(text.size());
    std::size_t start = 0;
    for (; found != source.npos; found = source.find(pattern, start)) {
        result.append(source.substr(start, found - start));
        result.append(replacement);
        start = found + pattern.size();
    }
    result.append(source.substr(start));
    text = std::move(result);
    return text;
}

template <typename Char>
std::basic_string<Char> keep_only_impl(std::basic_string_view<Char> text, std::basic_string_view<Char> set) {
    std::basic_string<Char> result;
    for (Char c : text)
        if (set.find(c) != set.npos) result += c;
    return result;
}

bool is_ascii_letter(char c) noexcept { return ascii_lower(c) >= 'a' && ascii_lower(c) <= 'z'; }

bool is_ascii_alnum(char c) noexcept { return is_ascii_letter(c) || (c >= '0' && c <= '9'); }

// Length of the character entity at text[at] ("&name;" or "&#number;"), or 0
// when the "&" there starts none.
std::size_t entity_length(std::string_view text, std::size_t at) noexcept {
    std::size_t end = at + 1;
    while (end < text.size() && (is_ascii_alnum(text[end]) || text[end] == '#')) ++end;
    if (end == at + 1 || end == text.size() || text[end] != ';') return 0;
    return end + 1 - at;
}

bool opens_tag(std::string_view text, std::size_t at) noexcept {
    if (at + 1 >= text.size()) return false;
    char next = text[at + 1];
    return is_ascii_letter(next) || next == '/' || next == '!' || next == '?';
}

}  // namespace

bool starts_with(std::string_view text, std::string_view prefix) noexcept { return text.starts_with(prefix); }
bool starts_with(std::u16string_view text, std::u16string_view prefix) noexcept { return text.starts_with(prefix); }
bool ends_with(std::string_view text, std::string_view suffix) noexcept { return text.ends_with(suffix); }
bool ends_with(std::u16string_view text, std::u16string_view suffix) noexcept { return text.ends_with(suffix); }
bool contains(std::string_view text, std::string_view part) noexcept { return text.find(part) != text.npos; }
bool contains(std::u16string_view text, std::u16string_view part) noexcept { return text.find(part) != text.npos; }

bool iequals(std::string_view a, std::string_view b) noexcept { return iequals_impl(a, b); }
bool iequals(std::u16string_view a, std::u16string_view b) noexcept { return iequals_impl(a, b); }

bool iless(std::string_view a, std::string_view b) noexcept {
    std::size_t common = a.size() < b.size() ? a.size() : b.size();
    for (std::size_t i = 0; i < common; ++i) {
        auto x = static_cast<unsigned char>(ascii_lower(a[i]));
        auto y = static_cast<unsigned char>(ascii_lower(b[i]));
        if (x != y) return x < y;
    }
    return a.size() < b.size();
}

bool all_digits(std::string_view text) noexcept { return all_digits_impl(text); }
bool all_digits(std::u16string_view text) noexcept { return all_digits_impl(text); }

std::string printable(std::string_view text, std::string_view keep, std::size_t limit) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(std::min(text.size(), limit));
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        const bool control = (byte < 0x20 || byte == 0x7f) && keep.find(c) == std::string_view::npos;
        if (out.size() + (control ? 4 : 1) > limit) break;
        if (control) {
            out += "\\x";
            out += digits[byte >> 4];
            out += digits[byte & 15];
        } else {
            out += c;
        }
    }
    return out;
}

bool is_valid_utf8(std::string_view text) noexcept {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* const end = p + text.size();
    while (p < end) {
        // Runs of ASCII, which most text is, eight bytes at a time.
        while (end - p >= 8) {
            std::uint64_t word;
            std::memcpy(&word, p, sizeof word);
            if (word & 0x8080808080808080u) break;
            p += 8;
        }
        if (p == end) break;
        const unsigned char lead = *p;
        if (lead < 0x80) {
            ++p;
            continue;
        }
        // The second byte's range excludes overlong forms (E0, F0),
        // surrogates (ED) and code points above U+10FFFF (F4).
        std::size_t length;
        unsigned char low = 0x80, high = 0xBF;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            if (lead == 0xE0) low = 0xA0;
            if (lead == 0xED) high = 0x9F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            if (lead == 0xF0) low = 0x90;
            if (lead == 0xF4) high = 0x8F;
        } else {
            return false;
        }
        if (static_cast<std::size_t>(end - p) < length || p[1] < low || p[1] > high) return false;
        for (std::size_t i = 2; i < length; ++i)
            if ((p[i] & 0xC0) != 0x80) return false;
        p += length;
    }
    return true;
}

std::string& lower_in_place(std::string& text) noexcept { return lower_impl(text); }
std::u16string& lower_in_place(std::u16string& text) noexcept { return lower_impl(text); }
std::string& upper_in_place(std::string& text) noexcept { return upper_impl(text); }
std::u16string& upper_in_place(std::u16string& text) noexcept { return upper_impl(text); }
std::string to_lower(std::string text) { return std::move(lower_impl(text)); }
std::u16string to_lower(std::u16string text) { return std::move(lower_impl(text)); }
std::string to_upper(std::string text) { return std::move(upper_impl(text)); }
std::u16string to_upper(std::u16string text) { return std::move(upper_impl(text)); }

std::string& replace_all(std::string& text, std::string_view pattern, std::string_view replacement) {
    return replace_all_impl(text, pattern, replacement);
}
std::u16string& replace_all(std::u16string& text, std::u16string_view pattern, std::u16string_view replacement) {
    return replace_all_impl(text, pattern, replacement);
}
std::string replace_all_copy(std::string text, std::string_view pattern, std::string_view replacement) {
    return std::move(replace_all_impl(text, pattern, replacement));
}
std::u16string replace_all_copy(std::u16string text, std::u16string_view pattern, std::u16string_view replacement) {
    return std::move(replace_all_impl(text, pattern, replacement));
}

std::string keep_only(std::string_view text, std::string_view set) { return keep_only_impl(text, set); }
std::u16string keep_only(std::u16string_view text, std::u16string_view set) { return keep_only_impl(text, set); }

std::string strip_markup(std::string_view text) {
    std::string result;
    bool in_tag = false;
    bool in_quotes = false;
    bool escape_pending = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (escape_pending) {
            escape_pending = false;
            continue;
        }
        if (in_tag) {
            if (c == '"' || c == '\'')
                in_quotes = !in_quotes;  // both kinds share one flag
            else if (c == '>' && !in_quotes)
                in_tag = false;
            else if (c == '\\' && in_quotes)
                escape_pending = true;
            continue;
        }
        if (c == '<' && opens_tag(text, i)) {
            in_tag = true;
            continue;
        }
        if (c == '&') {
            if (std::size_t length = entity_length(text, i); length != 0) {
                i += length - 1;
                continue;
            }
        }
        result += c;
    }
    return result;
}

}  // namespace corvid
