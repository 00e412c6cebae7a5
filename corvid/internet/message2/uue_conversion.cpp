// SPDX-License-Identifier: MIT
#include <corvid/internet/message2/uue_conversion.h>

#include <corvid/coding/errors.h>
#include <corvid/coding/uu.h>
#include <corvid/internet/message2/header_type/parametized_value_type.h>
#include <corvid/internet/message2/header_type/unstructured_value_type.h>
#include <corvid/internet/message2/text_lines.h>
#include <corvid/text.h>
#include <corvid/unicode/charset.h>
#include <corvid/unicode/convert.h>
#include <corvid/unicode/errors.h>

#include <algorithm>
#include <utility>

namespace corvid::internet::message2 {

namespace {

std::u16string file_name_from(const std::string& bytes, const std::string& charset) {
    try {
        return unicode::to_wide(bytes, unicode::codepage_from_charset(charset));
    } catch (const unicode::generic&) {
        // Bytes the charset rejects, or a charset no converter serves: keep
        // every byte as the character of the same value.
        return unicode::to_wide(bytes, unicode::no_codepage);
    }
}

std::string media_type_of(const std::u16string& file_name) {
    const std::u16string name = to_lower(file_name);
    static const std::pair<const char16_t*, const char*> table[] = {
        {u".txt", "text/plain"}, {u".htm", "text/html"},  {u".html", "text/html"}, {u".jpg", "image/jpeg"},
        {u".jpeg", "image/jpeg"}, {u".gif", "image/gif"}, {u".png", "image/png"},
    };
    for (const auto& [extension, type] : table)
        if (ends_with(name, extension)) return type;
    return "application/octet-stream";
}

// Decodes one encoded line onto data; false when the line is malformed.
bool decode_line(std::string_view line, std::string& data) {
    const unsigned char length_character = static_cast<unsigned char>(line.front());
    if (length_character < 0x20 || length_character > 0x60) return false;
    const std::size_t count = (length_character - 0x20u) & 0x3Fu;
    std::string symbols(line.substr(1));
    // Transports strip trailing blanks, and a blank is a zero symbol: put
    // them back rather than lose the bytes they stood for.
    const std::size_t needed = (count * 4 + 2) / 3;
    if (symbols.size() < needed) symbols.resize(needed, ' ');
    const std::size_t before = data.size();
    try {
        coding::uu_decode(symbols, data, true);
    } catch (const coding::translate::generic&) {
        return false;
    }
    // The last group of a line may hold filler beyond the count.
    data.resize(before + count);
    return true;
}

// Whether the text, read as a plain body, holds a block that converts.
bool holds_a_block(const std::string& text) {
    const text_lines lines(text);
    entity scratch;
    for (auto line = lines.begin(); line != lines.end(); ++line)
        if (line->starts_with("begin") && uue_conversion(line, lines.end(), scratch)) return true;
    return false;
}

}  // namespace

template <typename Lines>
std::optional<Lines> uue_conversion(Lines begin, Lines last, entity& target) {
    const std::string_view header = *begin;
    const std::size_t first_blank = header.find(' ');
    const std::size_t second_blank = first_blank == std::string::npos ? first_blank : header.find(' ', first_blank + 1);
    if (second_blank == std::string::npos) return std::nullopt;

    std::string data;
    Lines line = std::next(begin);
    for (;; ++line) {
        if (line == last || std::string_view(*line).empty()) return std::nullopt;
        if (std::string_view(*line).starts_with("end")) break;
        if (!decode_line(*line, data)) return std::nullopt;
    }

    const std::u16string file_name =
        file_name_from(std::string(header.substr(second_blank + 1)), target.body.charset);
    entity attachment;
    header_type::parametized_value_type disposition("utf-8");
    disposition.set_text(u"attachment");
    disposition.set_parameter("filename", file_name);
    attachment.add_header("Content-Disposition", disposition);
    header_type::unstructured_value_type encoding;
    encoding.set_text(u"base64");
    attachment.add_header("Content-Transfer-Encoding", encoding);
    attachment.body.content_type = media_type_of(file_name);
    attachment.body.data = std::move(data);
    target.children.push_back(std::move(attachment));
    return line;
}

template std::optional<text_lines::iterator> uue_conversion(text_lines::iterator, text_lines::iterator, entity&);
template std::optional<std::vector<std::string>::const_iterator> uue_conversion(
    std::vector<std::string>::const_iterator, std::vector<std::string>::const_iterator, entity&);

void uue_restructure(entity& target, const std::vector<std::string>& outer) {
    entity& text = target.children.emplace_back();
    std::swap(target.body, text.body);
    std::swap(target.boundary, text.boundary);
    target.body.content_type = "multipart/mixed";
    target.boundary = uue_conversion_boundary;
    // The attachments are written in base64, but the remaining text is
    // written as it stands: a line of it that looks like the boundary would
    // split the message differently once written and read again.
    // Appended rather than joined with +: g++ 12 -O3 mistakes the inlined
    // insert of a temporary for an overlapping copy (-Wrestrict).
    // A delimiter line is any line that begins with one, so of two
    // boundaries neither may begin the other; hence the number goes inside
    // the name, where no candidate begins another.
    const auto overlaps = [](std::string_view a, std::string_view b) {
        return a.starts_with(b) || b.starts_with(a);
    };
    const auto taken = [&](const std::string& boundary) {
        return (!text.boundary.empty() && overlaps(boundary, text.boundary)) ||
               std::any_of(outer.begin(), outer.end(),
                           [&](const std::string& o) { return !o.empty() && overlaps(boundary, o); }) ||
               starts_a_line(text.body.data, std::string("--").append(boundary));
    };
    // A boundary that begins every numbered name (an outer "=_", say) leaves
    // numbering no way out: the names then start with a character that no
    // boundary in force starts with. There are fewer boundaries in force
    // than the tree's depth limit, and more characters than that to choose
    // from, so one is always free.
    std::string lead;
    const auto blocks_numbering = [](const std::string& b) {
        return !b.empty() && std::string_view(uue_conversion_prefix).starts_with(b);
    };
    if (blocks_numbering(text.boundary) || std::any_of(outer.begin(), outer.end(), blocks_numbering)) {
        const auto starts = [&](char c) {
            const auto begins_with_c = [c](const std::string& b) { return !b.empty() && b.front() == c; };
            return begins_with_c(text.boundary) || std::any_of(outer.begin(), outer.end(), begins_with_c);
        };
        constexpr std::string_view boundary_leads =
            "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ'()+_,-./:?";
        for (const char c : boundary_leads) {
            if (!starts(c)) {
                lead = c;
                break;
            }
        }
    }
    for (unsigned number = 1; taken(target.boundary); ++number)
        target.boundary =
            std::string(lead).append(uue_conversion_prefix).append(std::to_string(number)).append("_boundary");
    // With the converted blocks gone, a "begin" line that was declined may
    // now start a whole block, which the next reading would convert;
    // quoted-printable text is never searched for blocks.
    if (holds_a_block(text.body.data)) text.add_header("Content-Transfer-Encoding", "quoted-printable");
}

}  // namespace corvid::internet::message2
