#include <corvid/internet/message2/entity.h>

#include <corvid/internet/message2/content_type.h>

#include <corvid/coding/base64.h>
#include <corvid/coding/quoted_printable.h>
#include <corvid/internet/message2/header_type/parametized_value_type.h>
#include <corvid/line_reader.h>
#include <corvid/line_writer.h>
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
// Encoded characters per quoted-printable line before its soft break "=":
// RFC 2045 allows 76 in all.
constexpr std::size_t quoted_printable_chunk = 75;
// Header lines longer than this are folded between encoded words (RFC 5322
// recommends 78 characters).
constexpr std::size_t header_fold_width = 78;

std::string render_content_type(header_type::parametized_value_type& value) {
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

// Sets the fields on value: the media type, the charset for text, the
// boundary when there is one.
void set_fields(header_type::parametized_value_type& value, const body& content, const std::string& boundary) {
    value.set_text_from(content.content_type, unicode::utf8_codepage);
    if (starts_with(content.content_type, "text/") && !content.charset.empty())
        value.set_parameter_from("charset", content.charset, unicode::utf8_codepage);
    else
        value.remove_parameter("charset");
    if (!boundary.empty()) value.set_parameter_from("boundary", boundary, unicode::utf8_codepage);
}

// Whether a reader of rendered finds the fields, and the boundary that the
// old value gave when the entity has none of its own.
bool reads_back(const std::string& rendered, const body& content, const std::string& boundary,
                const std::string& old) {
    const content_type_fields back = read_content_type(rendered);
    if (!iequals(back.content_type, content.content_type)) return false;
    if (starts_with(content.content_type, "text/") && !content.charset.empty() &&
        !iequals(back.charset, content.charset))
        return false;
    return back.boundary == (boundary.empty() ? read_content_type(old).boundary : boundary);
}

std::string content_type_value(const std::string& old, const body& content, const std::string& boundary) {
    try {
        header_type::parametized_value_type value;
        value.parse(old);
        set_fields(value, content, boundary);
        std::string rendered = render_content_type(value);
        if (reads_back(rendered, content, boundary, old)) return rendered;
    } catch (const unicode::generic&) {
        // Encoded words in the old value that cannot be converted.
    }
    // The old parameters cannot be read, or rendered again they would read
    // differently (a malformed value): only the fields are written.
    header_type::parametized_value_type fresh;
    set_fields(fresh, content, boundary);
    return render_content_type(fresh);
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

// As split_lines, but only CR LF ends a line: a lone CR or LF in decoded
// quoted-printable data is a byte of the content and is written escaped.
std::vector<std::string> split_at_crlf(const std::string& data, bool ends_message) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end = data.find("\r\n"); end != std::string::npos; end = data.find("\r\n", start)) {
        lines.push_back(data.substr(start, end - start));
        start = end + 2;
    }
    if (!(ends_message && start == data.size() && !lines.empty())) lines.push_back(data.substr(start));
    return lines;
}

void write_base64(const std::string& data, std::vector<std::string>& lines) {
    for (std::size_t at = 0; at < data.size(); at += base64_chunk)
        lines.push_back(coding::base64_encode(std::string_view(data).substr(at, base64_chunk), true));
}

// Cuts each line by encoded length, never inside an "=XX" escape, so that
// no line passes 76 characters; plain ASCII is cut every 75 bytes as before.
void write_quoted_printable(const std::string& data, bool ends_message, std::vector<std::string>& lines) {
    for (const std::string& line : split_at_crlf(data, ends_message)) {
        std::string encoded;
        for (std::size_t at = 0; at < line.size(); ++at) {
            std::string unit = coding::quoted_printable_encode(std::string_view(line).substr(at, 1));
            // Transports may strip a blank at the end of a line (RFC 2045,
            // section 6.7, rule 3); escaped, it survives.
            if (at + 1 == line.size() && unit == " ") unit = "=20";
            if (encoded.size() + unit.size() > quoted_printable_chunk) {
                lines.push_back(std::move(encoded) + '=');
                encoded.clear();
            }
            encoded += unit;
        }
        lines.push_back(std::move(encoded));
    }
}

// Appends one header line. A value made of several encoded words (a long
// non-ASCII text) is folded between them, so that no word is cut by a
// transport that splits long lines; the reader joins the pieces again.
void write_header(const std::string& name, const std::string& value, std::vector<std::string>& lines) {
    std::string line = name + ": " + value;
    if (line.size() <= header_fold_width) {
        lines.push_back(std::move(line));
        return;
    }
    std::size_t start = 0;
    for (std::size_t gap = line.find("?= =?"); gap != std::string::npos; gap = line.find("?= =?", gap + 2)) {
        lines.push_back(line.substr(start, gap + 2 - start));
        start = gap + 2;
    }
    lines.push_back(line.substr(start));
}

// The lines written so far, and whether the last one is a body line that
// had no line end in the data (the message then ends without one too).
struct output {
    std::vector<std::string>& lines;
    bool open_end = false;
    // The boundaries of the entities whose parts are being written.
    std::vector<std::string_view> enclosing;

    // Whether a closing line for boundary would end an enclosing part.
    bool ends_enclosing(const std::string& boundary) const {
        return std::any_of(enclosing.begin(), enclosing.end(), [&boundary](std::string_view outer) {
            return outer == boundary || outer == boundary + "--";
        });
    }
};

void write_entity(const entity& part, bool ends_message, output& out);

// The children from index first on, each after an opening boundary line,
// then the closing one.
void write_parts(const entity& part, std::size_t first, output& out);

// Writes one entity; ends_message tells whether nothing follows it in the
// message (no boundary line of an enclosing multipart).
void write_entity(const entity& part, bool ends_message, output& out) {
    std::vector<std::string>& lines = out.lines;
    for (const header_field& header : part.headers) {
        if (iequals(header.name, "Content-Type"))
            write_header(header.name, content_type_value(header.value, part.body, part.boundary), lines);
        else
            write_header(header.name, header.value, lines);
    }
    const bool enclosed = part.body.content_type == "message/rfc822";
    // The reader makes an enclosed message of whatever follows the empty
    // line, even nothing; an enclosed message that has none gets none.
    if (enclosed && part.children.empty() && part.body.data.empty()) {
        out.open_end = ends_message;
        return;
    }
    lines.emplace_back();

    // The reader splits at a boundary whatever the media type, so any entity
    // with one gets its boundary lines back, and a multipart entity keeps its
    // closing line even without parts.
    const bool multipart = starts_with(part.body.content_type, "multipart/");
    const bool delimited =
        (multipart || (!part.boundary.empty() && !enclosed)) &&
        (!part.children.empty() || (multipart && !part.boundary.empty() && !out.ends_enclosing(part.boundary)));

    const std::string& data = part.body.data;
    if (!data.empty()) {
        const bool body_ends_message = ends_message && part.children.empty() && !delimited;
        const std::string encoding = part.transfer_encoding();
        if (encoding == "base64") {
            write_base64(data, lines);
        } else if (encoding == "quoted-printable") {
            write_quoted_printable(data, body_ends_message, lines);
        } else {
            std::vector<std::string> text = split_lines(data, body_ends_message);
            std::move(text.begin(), text.end(), std::back_inserter(lines));
        }
        // Where only CR LF ends a line, a lone CR or LF at the end is content.
        const bool line_ended = encoding == "quoted-printable" ? ends_with(data, "\r\n")
                                                               : data.back() == '\r' || data.back() == '\n';
        out.open_end = body_ends_message && encoding != "base64" && !line_ended;
    }

    if (delimited) {
        write_parts(part, 0, out);
    } else if (!part.children.empty()) {
        // The enclosed message comes first, without a boundary line before
        // it; with a boundary the reader makes a child of every further
        // section, so those keep theirs.
        const bool more = enclosed && !part.boundary.empty() && part.children.size() > 1;
        write_entity(part.children.front(), ends_message && !more, out);
        if (more) write_parts(part, 1, out);
    }
}

void write_parts(const entity& part, std::size_t first, output& out) {
    out.enclosing.push_back(part.boundary);
    for (std::size_t i = first; i < part.children.size(); ++i) {
        out.lines.push_back("--" + part.boundary);
        write_entity(part.children[i], false, out);
    }
    out.enclosing.pop_back();
    out.lines.push_back("--" + part.boundary + "--");
}

}  // namespace

void entity::write(std::vector<std::string>& lines) const {
    output out{lines, false, {}};
    write_entity(*this, true, out);
}

std::string entity::write_text() const {
    std::vector<std::string> lines;
    output out{lines, false, {}};
    write_entity(*this, true, out);
    std::string text;
    line_writer(lines).take_text(text);
    // A message read from text without a final line end gets none back, so
    // that its last body line reads the same.
    if (out.open_end) text.resize(text.size() - 2);
    return text;
}

std::vector<std::string> entity::write() const {
    std::vector<std::string> lines;
    write(lines);
    return lines;
}

}  // namespace corvid::internet::message2
