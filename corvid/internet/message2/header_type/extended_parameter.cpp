// SPDX-License-Identifier: MIT
#include <corvid/internet/message2/header_type/extended_parameter.h>

#include <corvid/text.h>
#include <corvid/unicode/charset.h>
#include <corvid/unicode/convert.h>
#include <corvid/unicode/errors.h>

#include <algorithm>
#include <charconv>
#include <optional>

namespace corvid::internet::message2::header_type {

namespace {

struct section {
    unsigned number;
    bool escaped;
    const std::u16string* value;
};

// The section that a parameter called full is of `name`: "name*" is
// section 0, escaped; "name*N" and "name*N*" are section N.
std::optional<section> section_of(const parameter& p, std::string_view name) {
    const std::string_view full = p.name;
    if (full.size() <= name.size() || full[name.size()] != '*' || !iequals(full.substr(0, name.size()), name))
        return std::nullopt;
    std::string_view rest = full.substr(name.size() + 1);
    if (rest.empty()) return section{0, true, &p.value};
    const bool escaped = rest.back() == '*';
    if (escaped) rest.remove_suffix(1);
    unsigned number = 0;
    const auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), number);
    if (rest.empty() || error != std::errc() || end != rest.data() + rest.size()) return std::nullopt;
    return section{number, escaped, &p.value};
}

int hex_digit(char16_t c) noexcept {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
}

// Appends bytes read in codepage to result, or one character per byte when
// the code page cannot read them. Without a charset named (no_codepage),
// bytes that are valid UTF-8 are read as UTF-8.
void flush(std::string& bytes, std::u16string& result, int codepage) {
    if (bytes.empty()) return;
    try {
        result += codepage == unicode::no_codepage ? generic_value_type::plain_text(bytes, codepage)
                                                   : unicode::to_wide(bytes, codepage);
    } catch (const unicode::generic&) {
        result += unicode::to_wide(bytes, unicode::no_codepage);
    }
    bytes.clear();
}

// Appends the bytes of an escaped section; a "%" without two hexadecimal
// digits, and any character beyond ASCII, is kept as written.
void unescape(std::u16string_view text, std::string& bytes, std::u16string& result, int codepage) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c == u'%' && i + 2 < text.size() && hex_digit(text[i + 1]) >= 0 && hex_digit(text[i + 2]) >= 0) {
            bytes += static_cast<char>(hex_digit(text[i + 1]) * 16 + hex_digit(text[i + 2]));
            i += 2;
        } else if (c <= 0x7F) {
            bytes += static_cast<char>(c);
        } else {
            flush(bytes, result, codepage);
            result += c;
        }
    }
}

}  // namespace

bool extended_parameter(const std::vector<parameter>& parameters, std::string_view name, std::u16string& value) {
    std::vector<section> sections;
    for (const parameter& p : parameters)
        if (const auto found = section_of(p, name)) sections.push_back(*found);
    if (sections.empty()) return false;
    // Senders may list sections in any order; of two with one number the
    // first counts.
    std::stable_sort(sections.begin(), sections.end(),
                     [](const section& a, const section& b) { return a.number < b.number; });
    sections.erase(std::unique(sections.begin(), sections.end(),
                               [](const section& a, const section& b) { return a.number == b.number; }),
                   sections.end());

    // charset'language'text in the first section. Without both quotes (or
    // with a plain first section) no charset is named, but the escapes of
    // the escaped sections still stand for bytes.
    int codepage = unicode::no_codepage;
    std::u16string_view first = *sections.front().value;
    if (sections.front().escaped) {
        const std::size_t quote = first.find(u'\'');
        const std::size_t second = quote == first.npos ? quote : first.find(u'\'', quote + 1);
        if (second != first.npos) {
            const std::u16string charset(first.substr(0, quote));
            if (std::all_of(charset.begin(), charset.end(), [](char16_t c) { return c < 0x80; }))
                codepage = unicode::codepage_from_charset(unicode::to_narrow(charset, unicode::no_codepage));
            first.remove_prefix(second + 1);
        }
    }

    std::u16string result;
    std::string bytes;
    for (std::size_t i = 0; i < sections.size(); ++i) {
        const std::u16string_view text = i == 0 ? first : std::u16string_view(*sections[i].value);
        if (sections[i].escaped) {
            unescape(text, bytes, result, codepage);
        } else {
            flush(bytes, result, codepage);
            result += text;
        }
    }
    flush(bytes, result, codepage);
    value = std::move(result);
    return true;
}

}  // namespace corvid::internet::message2::header_type
