// SPDX-License-Identifier: MIT
#include <corvid/internet/message2/entity.h>

#include <corvid/internet/message2/content_type.h>

#include <corvid/coding/base64.h>
#include <corvid/coding/quoted_printable.h>
#include <corvid/internet/message2/header_type/parametized_value_type.h>
#include <corvid/coding/fast.h>
#include <corvid/internet/message2/text_lines.h>
#include <corvid/text.h>
#include <corvid/unicode/convert.h>
#include <corvid/unicode/errors.h>

#include <algorithm>
#include <string_view>

// The writer half of entity: the tree as message lines.

namespace corvid::internet::message2 {

namespace {

// Base64 lines of 76 characters, from 57 bytes each.
constexpr std::size_t base64_line = 76;
// Encoded characters per quoted-printable line before its soft break "=":
// RFC 2045 allows 76 in all.
constexpr std::size_t quoted_printable_chunk = 75;
// Header lines longer than this are folded between encoded words (RFC 5322
// recommends 78 characters).
constexpr std::size_t header_fold_width = 78;

// Where the lines go: a list, or one text with CR LF after every line, which
// write_text and save then take without joining a list of lines.
// Calls each(piece, last) for the pieces of text between CR LF pairs, in
// order; the last piece (empty when text ends in CR LF) has last set.
template <typename Each>
void for_each_crlf_piece(std::string_view text, Each each) {
    std::size_t start = 0;
    for (std::size_t end = text.find("\r\n"); end != std::string_view::npos; end = text.find("\r\n", start)) {
        each(text.substr(start, end - start), false);
        start = end + 2;
    }
    each(text.substr(start), true);
}

class line_output {
public:
    explicit line_output(std::vector<std::string>& lines) : lines(&lines) {}
    explicit line_output(std::string& text) : text(&text) {}

    void add(std::string_view line) {
        if (text != nullptr)
            text->append(line).append("\r\n");
        else
            lines->emplace_back(line);
    }
    // Lines joined by CR LF, made by fill(std::string&), which appends them.
    template <typename Fill>
    void add_joined(Fill fill) {
        if (text != nullptr) {
            fill(*text);
            text->append("\r\n");
            return;
        }
        scratch.clear();
        fill(scratch);
        for_each_crlf_piece(scratch, [this](std::string_view line, bool) { lines->emplace_back(line); });
    }

private:
    std::vector<std::string>* lines = nullptr;
    std::string* text = nullptr;
    std::string scratch;
};

// The lines of a body. Where the body ends the whole message, a line end at
// the very end of data closes its last line and opens none: written as one
// more empty line, it would come back from the reader as one more line end,
// and every load and save would grow the body. Before a boundary line the
// empty line stays, since the line end in front of a boundary belongs to the
// boundary and the body's own last line end would otherwise be lost.
void write_plain(const std::string& data, bool ends_message, line_output& out) {
    const bool drop_last = ends_message && (data.back() == '\r' || data.back() == '\n');
    const text_lines lines(data);
    for (auto line = lines.begin(); line != lines.end(); ++line)
        if (!(drop_last && line->data() == data.data() + data.size())) out.add(*line);
}

void write_base64(const std::string& data, line_output& out) {
    out.add_joined([&data](std::string& to) {
        coding::detail::base64_codec.encode_lines(data, to, base64_line, true);
    });
}

// Appends one line of data (no CR LF in it) encoded and cut by encoded
// length, never inside an "=XX" escape, so that no line passes 76
// characters; plain ASCII is cut every 75 bytes.
void encode_quoted_printable_line(std::string_view line, std::string& to) {
    constexpr char hex[] = "0123456789ABCDEF";
    const auto& plain = coding::detail::quoted_printable_plain;
    if (line.empty()) return;
    // Transports may strip a blank at the end of a line (RFC 2045, section
    // 6.7, rule 3); escaped, it survives.
    const std::size_t last = line.back() == ' ' ? line.size() - 1 : line.size();
    std::size_t width = 0;
    for (std::size_t at = 0; at < line.size();) {
        // A run of plain bytes that fits the line goes in one piece.
        std::size_t run = at;
        const std::size_t room = std::min(last, at + quoted_printable_chunk - width);
        while (run < room && plain[static_cast<unsigned char>(line[run])]) ++run;
        to.append(line, at, run - at);
        width += run - at;
        at = run;
        if (at == line.size()) break;
        const bool escaped = at == last || !plain[static_cast<unsigned char>(line[at])];
        if (width + (escaped ? 3 : 1) > quoted_printable_chunk) {
            to.append("=\r\n");
            width = 0;
        }
        if (escaped) {
            const auto byte = static_cast<unsigned char>(line[at]);
            const char escape[3] = {'=', hex[byte >> 4], hex[byte & 15]};
            to.append(escape, 3);
            width += 3;
            ++at;
        }
    }
}

// Only CR LF ends a line: a lone CR or LF in decoded quoted-printable data
// is a byte of the content and is written escaped.
void write_quoted_printable(const std::string& data, bool ends_message, line_output& out) {
    out.add_joined([&data, ends_message](std::string& to) {
        bool first = true;
        for_each_crlf_piece(data, [&](std::string_view line, bool last) {
            // A final line end closes the last line and opens none.
            if (last && ends_message && line.empty() && !first) return;
            if (!first) to.append("\r\n");
            encode_quoted_printable_line(line, to);
            first = false;
        });
    });
}

// Appends one header line. A value made of several encoded words (a long
// non-ASCII text) is folded between them, so that no word is cut by a
// transport that splits long lines; the reader joins the pieces again.
void write_header(const std::string& name, const std::string& value, line_output& lines) {
    const std::string line = name + ": " + value;
    if (line.size() <= header_fold_width) {
        lines.add(line);
        return;
    }
    const std::string_view text = line;
    std::size_t start = 0;
    for (std::size_t gap = line.find("?= =?"); gap != std::string::npos; gap = line.find("?= =?", gap + 2)) {
        lines.add(text.substr(start, gap + 2 - start));
        start = gap + 2;
    }
    lines.add(text.substr(start));
}

// The lines written so far, and whether the last one is a body line that
// had no line end in the data (the message then ends without one too).
struct output {
    line_output lines;
    bool open_end = false;
    // The boundaries of the entities whose parts are being written.
    std::vector<std::string_view> enclosing;

    // Whether a closing line for boundary would end an enclosing part: a
    // reader takes every line that begins with a delimiter for one.
    bool ends_enclosing(const std::string& boundary) const {
        const std::string closing = boundary + "--";
        return std::any_of(enclosing.begin(), enclosing.end(), [&closing](std::string_view outer) {
            const std::size_t end = outer.find_last_not_of(" \t");
            return end != std::string_view::npos && closing.starts_with(outer.substr(0, end + 1));
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
    line_output& lines = out.lines;
    for (const header_field& header : part.headers) {
        if (iequals(header.name, "Content-Type"))
            write_header(header.name, written_content_type(header.value, part.body, part.boundary), lines);
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
    lines.add("");

    // Parts are written between boundary lines wherever an entity has a
    // boundary (the reader splits only multipart bodies, but a tree built in
    // code may give any entity parts), and a multipart entity keeps its
    // closing line even without parts. A boundary that holds a line break
    // closes nothing: written, it would read back as text.
    const bool multipart = starts_with(part.body.content_type, "multipart/");
    const bool closable = !part.boundary.empty() && part.boundary.find_first_of("\r\n") == std::string::npos;
    const bool delimited =
        (multipart || (!part.boundary.empty() && !enclosed)) &&
        (!part.children.empty() || (multipart && closable && !out.ends_enclosing(part.boundary)));

    const std::string& data = part.body.data;
    if (!data.empty()) {
        const bool body_ends_message = ends_message && part.children.empty() && !delimited;
        const std::string encoding = part.transfer_encoding();
        if (encoding == "base64")
            write_base64(data, lines);
        else if (encoding == "quoted-printable")
            write_quoted_printable(data, body_ends_message, lines);
        else
            write_plain(data, body_ends_message, lines);
        // Where only CR LF ends a line, a lone CR or LF at the end is content.
        const bool line_ended = encoding == "quoted-printable" ? ends_with(data, "\r\n")
                                                               : data.back() == '\r' || data.back() == '\n';
        out.open_end = body_ends_message && encoding != "base64" && !line_ended;
    }

    if (delimited) {
        write_parts(part, 0, out);
    } else if (!part.children.empty()) {
        // The enclosed message comes first, without a boundary line before
        // it; further children of a tree built in code keep their boundary
        // lines after it.
        const bool more = enclosed && !part.boundary.empty() && part.children.size() > 1;
        write_entity(part.children.front(), ends_message && !more, out);
        if (more) write_parts(part, 1, out);
    }
}

void write_parts(const entity& part, std::size_t first, output& out) {
    out.enclosing.push_back(part.boundary);
    for (std::size_t i = first; i < part.children.size(); ++i) {
        out.lines.add("--" + part.boundary);
        write_entity(part.children[i], false, out);
    }
    out.enclosing.pop_back();
    out.lines.add("--" + part.boundary + "--");
}

// About the size of the written text: headers and boundary lines as they
// stand, base64 at 4 characters per 3 bytes and CR LF per 76, other bodies
// with a little room for escapes and line ends.
std::size_t written_size(const entity& part) {
    std::size_t size = 2 * part.boundary.size() + 16;
    for (const header_field& header : part.headers) size += header.name.size() + header.value.size() + 4;
    const std::size_t data = part.body.data.size();
    size += part.transfer_encoding() == "base64" ? data / 57 * 78 + 80 : data + data / 8 + 2;
    for (const entity& child : part.children) size += written_size(child) + part.boundary.size() + 4;
    return size;
}

}  // namespace

void entity::write(std::vector<std::string>& lines) const {
    output out{line_output(lines), false, {}};
    write_entity(*this, true, out);
}

std::string entity::write_text() const {
    std::string text;
    // Growing a text of many megabytes by doubling would copy it about once
    // more; room for what the tree will most likely take avoids that.
    text.reserve(written_size(*this));
    output out{line_output(text), false, {}};
    write_entity(*this, true, out);
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
