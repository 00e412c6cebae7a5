// SPDX-License-Identifier: MIT
#ifndef CORVID_TEXT_H
#define CORVID_TEXT_H

#include <cstddef>
#include <limits>
#include <string>
#include <string_view>

namespace corvid {

// Text predicates, case mapping, replacement and character filters over
// narrow strings (bytes) and wide strings (UTF-16 code units).
//
// Case mapping touches the ASCII letters A-Z and a-z only, whatever the global
// locale: protocol keywords and header names must compare the same on every
// machine. Bytes above 127 and code units above 127 stay as they are.
//
// Nothing here throws except std::bad_alloc and std::length_error from the
// strings it builds.

// True when text begins with prefix (case-sensitive); an empty prefix always.
bool starts_with(std::string_view text, std::string_view prefix) noexcept;
bool starts_with(std::u16string_view text, std::u16string_view prefix) noexcept;
// True when text ends with suffix (case-sensitive); an empty suffix always.
bool ends_with(std::string_view text, std::string_view suffix) noexcept;
bool ends_with(std::u16string_view text, std::u16string_view suffix) noexcept;
// True when part occurs in text (case-sensitive); an empty part always.
bool contains(std::string_view text, std::string_view part) noexcept;
bool contains(std::u16string_view text, std::u16string_view part) noexcept;

// Equality of the ASCII lower-case copies.
bool iequals(std::string_view a, std::string_view b) noexcept;
bool iequals(std::u16string_view a, std::u16string_view b) noexcept;
// Order of the ASCII lower-case copies, bytes compared as unsigned values, a
// string before its own extensions.
bool iless(std::string_view a, std::string_view b) noexcept;

// The decimal number at the start of text as strtol reads it: leading white
// space, an optional sign, then the digits up to the first other character;
// no digits give 0, and a value beyond Int saturates at its limits. Every
// number the library reads from text (variants, code-page names, exit codes)
// is read this one way. Text is any string or view of char or char16_t.
template <typename Int, typename Text>
Int leading_decimal(const Text& text) noexcept {
    using Char = typename Text::value_type;
    std::size_t i = 0;
    while (i < text.size() && (text[i] == Char(' ') || (text[i] >= Char('\t') && text[i] <= Char('\r')))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == Char('+') || text[i] == Char('-'))) negative = text[i++] == Char('-');
    // Accumulate toward the sign so that the most negative value fits.
    Int value = 0;
    for (; i < text.size() && text[i] >= Char('0') && text[i] <= Char('9'); ++i) {
        const Int digit = static_cast<Int>(text[i] - Char('0'));
        if (negative) {
            if (value < (std::numeric_limits<Int>::min() + digit) / 10) return std::numeric_limits<Int>::min();
            value = value * 10 - digit;
        } else {
            if (value > (std::numeric_limits<Int>::max() - digit) / 10) return std::numeric_limits<Int>::max();
            value = value * 10 + digit;
        }
    }
    return value;
}

// True when every character is one of "0" to "9"; true for an empty text.
bool all_digits(std::string_view text) noexcept;
bool all_digits(std::u16string_view text) noexcept;

// Text that is safe to show on a terminal or to quote back to a peer: each
// control character (below 0x20, and DEL) that keep does not name becomes
// \xNN, so that it can neither drive a terminal nor end a line. Other bytes
// stay as they are. The result holds at most limit bytes, never a cut escape.
std::string printable(std::string_view text, std::string_view keep = "\t",
                      std::size_t limit = std::string::npos);

// True when text is well-formed UTF-8: no stray continuation byte, no
// sequence cut short, no overlong form, no surrogate and nothing above
// U+10FFFF. Empty text is.
bool is_valid_utf8(std::string_view text) noexcept;

std::string& lower_in_place(std::string& text) noexcept;
std::u16string& lower_in_place(std::u16string& text) noexcept;
std::string& upper_in_place(std::string& text) noexcept;
std::u16string& upper_in_place(std::u16string& text) noexcept;
std::string to_lower(std::string text);
std::u16string to_lower(std::u16string text);
std::string to_upper(std::string text);
std::u16string to_upper(std::u16string text);

// Replaces every occurrence of pattern, left to right, never looking into a
// replacement just inserted: "a" by "aa" in "aXa" gives "aaXaa". An empty
// pattern matches nothing and leaves the text unchanged.
std::string& replace_all(std::string& text, std::string_view pattern, std::string_view replacement);
std::u16string& replace_all(std::u16string& text, std::u16string_view pattern, std::u16string_view replacement);
std::string replace_all_copy(std::string text, std::string_view pattern, std::string_view replacement);
std::u16string replace_all_copy(std::u16string text, std::u16string_view pattern, std::u16string_view replacement);

// The characters of text that occur in set, in order.
std::string keep_only(std::string_view text, std::string_view set);
std::u16string keep_only(std::u16string_view text, std::u16string_view set);

// The text without markup tags and character entities; entities are removed,
// not decoded ("a&amp;b" gives "ab"). Quotes inside a tag hide ">" and
// backslash escapes the next character there. What is not markup stays: a
// "<" not followed by a letter, "/", "!" or "?" opens no tag, a ">" outside a
// tag is text, and a "&" that no ";" closes after a name or number is text.
std::string strip_markup(std::string_view text);

}  // namespace corvid

#endif
