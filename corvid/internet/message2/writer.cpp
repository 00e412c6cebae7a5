#include <corvid/internet/message2/entity.h>

#include <corvid/coding/base64.h>
#include <corvid/coding/quoted_printable.h>
#include <corvid/internet/message2/header_type/parametized_value_type.h>
#include <corvid/line_reader.h>
#include <corvid/text.h>
#include <corvid/unicode/convert.h>
#include <corvid/unicode/errors.h>

#include <algorithm>
#include <string_view>

// The writer half of entity: the tree as message lines.

namespace corvid::internet::message2 {

namespace {

// 57 input bytes make one base64 line of 76 characters.
constexpr std::size_t base64_chunk = 57;
// Input bytes per quoted-printable output line, before escaping.
constexpr std::size_t quoted_printable_chunk = 75;

std::string content_type_value(const std::string& old, const body& content, const std::string& boundary) {
    header_type::parametized_value_type value;
    value.parse(old);
    value.set_text_from(content.content_type, unicode::utf8_codepage);
    if (starts_with(content.content_type, "text/") && !content.charset.empty())
        value.set_parameter_from("charset", content.charset, unicode::utf8_codepage);
    else
        value.remove_parameter("charset");
    if (!boundary.empty()) value.set_parameter_from("boundary", boundary, unicode::utf8_codepage);
    try {
        return value.render();
    } catch (const unicode::unmappable_character&) {
        // Parsing leaves the charset of the last encoded word, which need not
        // hold the text of an earlier one in another charset; a message that
        // was read must still be writable.
        value.charset = "utf-8";
        return value.render();
    }
}

// The lines of a body. Where the body ends the whole message, a line end at
// the very end of data closes its last line and opens none: written as one
// more empty line, it would come back from the reader as one more line end,
// and every load and save would grow the body. Before a boundary line the
// empty line stays, since the line end in front of a boundary belongs to the
// boundary and the body's own last line end would otherwise be lost.
std::vector<std::string> split_lines(const std::string& data, bool ends_message) {
    std::vector<std::string> lines;
    line_reader reader(data);
    reader.finish();
    reader.get_lines(lines);
    if (ends_message && lines.size() > 1 && (data.back() == '\r' || data.back() == '\n')) lines.pop_back();
    return lines;
}

void write_base64(const std::string& data, std::vector<std::string>& lines) {
    for (std::size_t at = 0; at < data.size(); at += base64_chunk)
        lines.push_back(coding::base64_encode(std::string_view(data).substr(at, base64_chunk), true));
}

void write_quoted_printable(const std::string& data, bool ends_message, std::vector<std::string>& lines) {
    for (const std::string& line : split_lines(data, ends_message)) {
        std::size_t at = 0;
        do {
            const std::string_view piece = std::string_view(line).substr(at, quoted_printable_chunk);
            std::string encoded = coding::quoted_printable_encode(piece);
            at += quoted_printable_chunk;
            if (at < line.size()) {
                encoded += '=';
            } else if (!encoded.empty() && encoded.back() == ' ') {
                // Transports may strip a blank at the end of a line (RFC 2045,
                // section 6.7, rule 3); escaped, it survives.
                encoded.back() = '=';
                encoded += "20";
            }
            lines.push_back(std::move(encoded));
        } while (at < line.size());
    }
}

// Writes one entity; ends_message tells whether nothing follows it in the
// message (no boundary line of an enclosing multipart).
void write_entity(const entity& part, bool ends_message, std::vector<std::string>& lines) {
    for (const header_field& header : part.headers) {
        if (iequals(header.name, "Content-Type"))
            lines.push_back(header.name + ": " + content_type_value(header.value, part.body, part.boundary));
        else
            lines.push_back(header.name + ": " + header.value);
    }
    lines.emplace_back();

    const std::string& data = part.body.data;
    if (!data.empty()) {
        const bool body_ends_message = ends_message && part.children.empty();
        const std::string encoding = part.transfer_encoding();
        if (encoding == "base64") {
            write_base64(data, lines);
        } else if (encoding == "quoted-printable") {
            write_quoted_printable(data, body_ends_message, lines);
        } else {
            std::vector<std::string> text = split_lines(data, body_ends_message);
            std::move(text.begin(), text.end(), std::back_inserter(lines));
        }
    }

    if (part.children.empty()) return;
    if (starts_with(part.body.content_type, "multipart/")) {
        for (const entity& child : part.children) {
            lines.push_back("--" + part.boundary);
            write_entity(child, false, lines);
        }
        lines.push_back("--" + part.boundary + "--");
    } else {
        // An enclosed message has exactly one child.
        write_entity(part.children.front(), ends_message, lines);
    }
}

}  // namespace

void entity::write(std::vector<std::string>& lines) const { write_entity(*this, true, lines); }

std::vector<std::string> entity::write() const {
    std::vector<std::string> lines;
    write(lines);
    return lines;
}

}  // namespace corvid::internet::message2
