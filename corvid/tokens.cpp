// SPDX-License-Identifier: MIT
#include <corvid/tokens.h>

namespace corvid {

template <typename Char>
basic_tokens<Char>::basic_tokens(std::basic_string_view<Char> text, std::basic_string_view<Char> delimiters) {
    std::size_t start = text.find_first_not_of(delimiters);
    while (start != text.npos) {
        std::size_t end = text.find_first_of(delimiters, start);
        this->emplace_back(text.substr(start, end == text.npos ? text.npos : end - start));
        if (end == text.npos) break;
        start = text.find_first_not_of(delimiters, end);
    }
}

template <typename Char>
basic_fields<Char>::basic_fields(std::basic_string_view<Char> text, std::basic_string_view<Char> delimiters) {
    std::size_t start = 0;
    for (;;) {
        std::size_t end = text.find_first_of(delimiters, start);
        this->emplace_back(text.substr(start, end == text.npos ? text.npos : end - start));
        if (end == text.npos) break;
        start = end + 1;
    }
}

template class basic_tokens<char>;
template class basic_tokens<char16_t>;
template class basic_fields<char>;
template class basic_fields<char16_t>;

quoted_tokens::quoted_tokens(std::string_view text, std::string_view delimiters) {
    std::string current;
    bool in_quotes = false;
    for (char c : text) {
        if (in_quotes) {
            if (c == '"') {
                push_back(std::move(current));
                current.clear();
                in_quotes = false;
            } else {
                current += c;
            }
        } else if (c == '"') {
            in_quotes = true;  // what came before the quote stays in current
        } else if (delimiters.find(c) != delimiters.npos) {
            if (!current.empty()) push_back(std::move(current));
            current.clear();
        } else {
            current += c;
        }
    }
    if (!current.empty()) push_back(std::move(current));
}

}  // namespace corvid
