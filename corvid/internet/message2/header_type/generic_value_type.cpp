// SPDX-License-Identifier: MIT
#include <corvid/internet/message2/header_type/generic_value_type.h>

#include <corvid/coding/base64.h>
#include <corvid/coding/quoted_printable.h>
#include <corvid/text.h>
#include <corvid/tokens.h>
#include <corvid/unicode/charset.h>
#include <corvid/unicode/convert.h>

#include <algorithm>

namespace corvid::internet::message2::header_type {

namespace {

// Characters that may stand as they are in a header line. A raw CR or LF
// would end the header early, and other control characters are not allowed
// in header text at all.
bool plain(char16_t c) noexcept {
    return c == u'\t' || (c >= 0x20 && c < 0x7F);
}

// RFC 2047, section 2: an encoded word is at most 75 characters long.
constexpr std::size_t longest_word = 75;

bool is_high_surrogate(char16_t c) noexcept {
    return c >= 0xD800 && c <= 0xDBFF;
}

}  // namespace

generic_value_type::generic_value_type() : charset("iso-8859-1") {}

generic_value_type::generic_value_type(std::string charset) : charset(std::move(charset)) {}

std::string generic_value_type::encode_text(std::u16string_view text) const {
    // Plain text that holds "=?" would be read back as an encoded word.
    if (std::all_of(text.begin(), text.end(), plain) && text.find(u"=?") == text.npos)
        return unicode::to_narrow(std::u16string(text), unicode::no_codepage);
    return encode_word(text);
}

bool generic_value_type::loses_blanks(std::u16string_view text) noexcept {
    return text.find(u'\t') != text.npos || text.starts_with(u' ') || text.ends_with(u' ');
}

std::string generic_value_type::encode_quoted(std::u16string_view text) const {
    // In an encoded word a quote, a tab and the outer blanks stay as they are.
    if (text.find(u'"') != text.npos || loses_blanks(text)) return encode_word(text);
    return encode_text(text);
}

std::string generic_value_type::encode_word(std::u16string_view text) const {
    const int codepage = unicode::codepage_from_charset(charset);
    std::string word = encode_bytes(unicode::to_narrow(std::u16string(text), codepage));
    if (word.size() <= longest_word) return word;

    // Too long for one word: several, each of whole characters, so that
    // every word decodes on its own (RFC 2047, section 5). Blanks between
    // them are dropped again when decoded and let the writer fold the line.
    word.clear();
    const std::size_t overhead = charset.size() + 7;  // "=?" charset "?X?" ... "?="
    std::size_t start = 0;
    std::size_t b_bytes = 0;
    std::size_t q_length = 0;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t next = at + (is_high_surrogate(text[at]) && at + 1 < text.size() ? 2 : 1);
        const std::string bytes = unicode::to_narrow(std::u16string(text.substr(at, next - at)), codepage);
        const std::size_t q_more = coding::quoted_printable_encode(bytes).size();
        const std::size_t b_length = (b_bytes + bytes.size() + 2) / 3 * 4;
        if (at > start && overhead + std::min(b_length, q_length + q_more) > longest_word) {
            append_word(word, text.substr(start, at - start), codepage);
            start = at;
            b_bytes = 0;
            q_length = 0;
        }
        b_bytes += bytes.size();
        q_length += q_more;
        at = next;
    }
    append_word(word, text.substr(start), codepage);
    return word;
}

void generic_value_type::append_word(std::string& words, std::u16string_view text, int codepage) const {
    if (!words.empty()) words += ' ';
    words += encode_bytes(unicode::to_narrow(std::u16string(text), codepage));
}

std::string generic_value_type::encode_bytes(const std::string& bytes) const {
    std::string b = "=?" + charset + "?B?" + coding::base64_encode(bytes, true) + "?=";
    std::string q = coding::quoted_printable_encode(bytes);
    std::replace(q.begin(), q.end(), ' ', '_');
    q = "=?" + charset + "?Q?" + q + "?=";
    return b.size() < q.size() ? b : q;
}

std::u16string generic_value_type::plain_text(std::string_view bytes, int codepage) {
    // Mailers now write header text in UTF-8 as it stands (RFC 6532); bytes
    // in a legacy charset are hardly ever valid UTF-8 by chance. ASCII stays
    // in codepage, which may give its escapes a meaning (ISO-2022-JP).
    const bool high = std::any_of(bytes.begin(), bytes.end(), [](char c) { return (c & 0x80) != 0; });
    if (high && is_valid_utf8(bytes)) codepage = unicode::utf8_codepage;
    return unicode::to_wide(std::string(bytes), codepage);
}

bool generic_value_type::decode_word(std::string_view token, std::u16string& text) {
    const std::size_t start = token.find("=?");
    const std::size_t end = token.rfind("?=");
    // "?=" before "=?" (or sharing its "?") frames nothing.
    if (start == token.npos || end == token.npos || end < start + 2) {
        text = plain_text(token, unicode::codepage_from_charset(charset));
        return false;
    }
    const std::string_view word = token.substr(start, end + 2 - start);
    const fields pieces(word, "?");
    if (pieces.size() != 5) {
        text = plain_text(token, unicode::codepage_from_charset(charset));
        return false;
    }
    charset = pieces[1];
    const int codepage = unicode::codepage_from_charset(charset);
    const std::string& encoding = pieces[2];
    std::string bytes;
    if (encoding == "Q" || encoding == "q") {
        std::string encoded = pieces[3];
        std::replace(encoded.begin(), encoded.end(), '_', ' ');
        // A broken escape in a received header is read as it stands rather
        // than making the whole header unreadable.
        coding::quoted_printable_decode(encoded, bytes, false);
    } else if (encoding == "B" || encoding == "b") {
        bytes = coding::base64_decode(pieces[3], false);
    } else {
        text = plain_text(token, codepage);
        return false;
    }
    text = plain_text(token.substr(0, start), unicode::no_codepage);
    text += unicode::to_wide(bytes, codepage);
    text += plain_text(token.substr(end + 2), unicode::no_codepage);
    return true;
}

std::u16string generic_value_type::decode_text(std::string_view raw) {
    std::u16string result;
    std::u16string word;
    std::size_t position = 0;
    std::size_t gap = 0;
    bool previous_encoded = false;
    for (;;) {
        const std::size_t blank = raw.find(' ', position);
        const bool encoded = decode_word(raw.substr(position, blank == raw.npos ? raw.npos : blank - position), word);
        // White space between two adjacent encoded words is not part of the
        // text (RFC 2047, section 6.2).
        if (!(encoded && previous_encoded)) result.append(gap, u' ');
        result += word;
        previous_encoded = encoded;
        if (blank == raw.npos) break;
        const std::size_t next = raw.find_first_not_of(' ', blank);
        if (next == raw.npos) break;
        gap = next - blank;
        position = next;
    }
    return result;
}

std::vector<std::string> generic_value_type::tokenize(std::string_view raw, std::string_view delimiters,
                                                      bool keep_quotes) {
    enum class mode { normal, escape, quoted, encoded_word };
    std::vector<std::string> tokens;
    std::string token;
    mode state = mode::normal;
    unsigned marks = 0;  // question marks of the encoded word so far
    mode after_escape = mode::normal;
    for (const char c : raw) {
        switch (state) {
        case mode::escape:
            token += c;
            state = after_escape;
            continue;
        case mode::quoted:
            if (c == '"') {
                if (keep_quotes) token += c;
                state = mode::normal;
            } else if (c == '\\') {
                // A quoted pair stands for its character (RFC 5322, section
                // 3.2.4); kept as written where the quotes are kept, so that
                // the token can be split again.
                if (keep_quotes) token += c;
                after_escape = mode::quoted;
                state = mode::escape;
            } else {
                token += c;
            }
            continue;
        case mode::encoded_word:
            token += c;
            if (c == '?') ++marks;
            // "?Q?=E9..." starts the encoded text with an escape: the "?="
            // right after the third mark opens the text and ends nothing.
            if (ends_with(token, "?=") && marks != 3) state = mode::normal;
            continue;
        case mode::normal:
            break;
        }
        if (c == '\\') {
            if (keep_quotes) token += c;
            after_escape = mode::normal;
            state = mode::escape;
        } else if (c == '"') {
            if (keep_quotes) token += c;
            state = mode::quoted;
        } else if (c == '?' && !token.empty()) {
            if (token.back() == '=') {
                state = mode::encoded_word;
                marks = 1;
            }
            token += c;
        } else if (c == ' ' && token.empty()) {
            // leading blanks belong to no token
        } else if (delimiters.find(c) != delimiters.npos) {
            if (!token.empty()) tokens.push_back(std::move(token));
            token.clear();
        } else {
            token += c;
        }
    }
    if (!token.empty()) tokens.push_back(std::move(token));
    return tokens;
}

}  // namespace corvid::internet::message2::header_type
