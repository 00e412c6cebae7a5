// SPDX-License-Identifier: MIT
#ifndef CORVID_TOKENS_H
#define CORVID_TOKENS_H

#include <string>
#include <string_view>
#include <vector>

namespace corvid {

// A text split at delimiter characters into the non-empty pieces between
// them: "  a  b " at " " gives "a", "b". The list is the vector itself.
// Throws nothing but allocation errors.
template <typename Char>
class basic_tokens : public std::vector<std::basic_string<Char>> {
public:
    basic_tokens() = default;
    basic_tokens(std::basic_string_view<Char> text, std::basic_string_view<Char> delimiters);
};

// A text split at every delimiter character, empty pieces included: "a,,b" at
// "," gives "a", "", "b"; "" gives one empty field. The list is the vector.
// Throws nothing but allocation errors.
template <typename Char>
class basic_fields : public std::vector<std::basic_string<Char>> {
public:
    basic_fields() = default;
    basic_fields(std::basic_string_view<Char> text, std::basic_string_view<Char> delimiters);
};

using tokens = basic_tokens<char>;
using wtokens = basic_tokens<char16_t>;
using fields = basic_fields<char>;
using wfields = basic_fields<char16_t>;

extern template class basic_tokens<char>;
extern template class basic_tokens<char16_t>;
extern template class basic_fields<char>;
extern template class basic_fields<char16_t>;

// A text split like tokens, where a double quote opens a section that runs to
// the next double quote and keeps delimiters: a,"b c",,d at "," gives "a",
// "b c", "d". The closing quote ends the token, which is kept even if empty;
// characters directly before the opening quote belong to it (x"y z" gives
// "xy z"). An unclosed quote runs to the end of the text. The quotes
// themselves are never part of a token. Throws nothing but allocation errors.
class quoted_tokens : public std::vector<std::string> {
public:
    quoted_tokens() = default;
    quoted_tokens(std::string_view text, std::string_view delimiters);
};

}  // namespace corvid

#endif
