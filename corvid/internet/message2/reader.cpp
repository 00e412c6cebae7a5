// SPDX-License-Identifier: MIT
// Parsing message lines into an entity tree.
//
// A text is read in place: its lines are views cut on demand, every entity
// reads a range of them, and a part is never copied before it is decoded.
// Each section is scanned once for its end (for the dashes that a boundary
// line begins with) and once to decode it, a clean base64 or CR LF text
// section in one call, which keeps reading linear in the input whatever the
// number of parts, headers or line lengths. A list of lines (the other
// input) goes through the same code line by line.

#include <corvid/internet/message2/entity.h>

#include <corvid/internet/message2/content_type.h>
#include <corvid/internet/message2/errors.h>
#include <corvid/internet/message2/header_type/parametized_value_type.h>
#include <corvid/internet/message2/text_lines.h>
#include <corvid/internet/message2/uue_conversion.h>

#include <corvid/coding/base64.h>
#include <corvid/coding/fast.h>
#include <corvid/coding/quoted_printable.h>
#include <corvid/line_scanner.h>
#include <corvid/platform/file.h>
#include <corvid/text.h>
#include <corvid/unicode/convert.h>
#include <corvid/unicode/errors.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

namespace corvid::internet::message2 {

namespace {

// The boundaries of the entities around the one being read, outermost
// first: a boundary the reader makes up must differ from all of them.
using outer_boundaries = std::vector<std::string>;

// Deeper entities than this are refused: reading recurses once per level, and
// a hostile message could otherwise nest until the stack runs out.
constexpr unsigned depth_ceiling = 64;

// The white space of the classic locale, whatever the global one is.
bool is_space(char c) noexcept {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

void check_depth(unsigned depth) {
    if (depth >= depth_ceiling) throw depth_limit("MIME tree depth exceeded");
}

// The media type an entity has without a Content-Type header: in a digest
// each part is a message (RFC 2046, section 5.1.5).
enum class default_type { text, message };

// Sets the body fields from the first Content-Type header; later ones stay
// among the headers but count for nothing, as in the other readers of mail.
void synchronise_content_type(entity& target, const std::string& value) {
    content_type_fields fields = read_content_type(value);
    target.body.content_type = std::move(fields.content_type);
    target.body.charset = std::move(fields.charset);
    // Only a multipart body is cut at boundary lines: a boundary parameter
    // on any other type is a parameter like any other.
    if (starts_with(target.body.content_type, "multipart/")) target.boundary = std::move(fields.boundary);
}

// The Content-Type header that a new entity starts with.
const header_field& default_content_type() {
    static const header_field header = entity().headers.front();
    return header;
}

bool is_blank(char c) noexcept {
    return c == ' ' || c == '\t';
}

// Whether a line with nothing but blanks (or nothing) is the empty line
// that ends a header.
bool is_separator(std::string_view line) noexcept {
    return std::all_of(line.begin(), line.end(), is_space);
}

// Whether a header line starts a field: a name of printable characters, then
// a colon (RFC 5322, section 2.2). Blanks between the name and the colon are
// the obsolete form that readers still accept (section 4.5). Any other line
// is no field, and the body begins with it.
bool is_field(std::string_view line) noexcept {
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos) return false;
    std::string_view name = line.substr(0, colon);
    while (!name.empty() && is_blank(name.back())) name.remove_suffix(1);
    return !name.empty() && std::none_of(name.begin(), name.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte <= ' ' || byte == 0x7F;
    });
}

// Where the header of an entity ended: the first line of its body, if it has
// one (a text that ends within the header has none).
template <typename Lines>
struct header_end {
    Lines body;
    bool has_body;
};

// Unfolds and splits the header block that starts at first.
template <typename Lines>
header_end<Lines> read_headers(entity& target, Lines first, Lines end, default_type fallback) {
    std::vector<std::string> collected;
    header_end<Lines> result{end, false};
    // The "From " line that starts each message of an mbox file is the
    // file's framing, no part of the message; a first line of text that
    // merely begins with "From " is followed by no field.
    if (first != end && std::string_view(*first).starts_with("From ")) {
        const Lines next = std::next(first);
        if (next != end && is_field(*next)) first = next;
    }
    for (; first != end; ++first) {
        const std::string_view line = *first;
        if (is_separator(line)) {
            result = {std::next(first), true};
            break;
        }
        const bool continued = is_space(line.front());
        std::string unfolded(line);
        for (char& c : unfolded)
            if (is_space(c)) c = ' ';
        unfolded.erase(0, unfolded.find_first_not_of(' '));
        if (continued && !collected.empty()) {
            collected.back() += ' ';
            collected.back() += unfolded;
            continue;
        }
        // Text that is no field ends the header as the empty line would: it
        // is the first line of the body, never lost nor taken for a field.
        if (!is_field(unfolded)) {
            result = {first, true};
            break;
        }
        collected.push_back(std::move(unfolded));
    }

    bool has_content_type = false;
    target.headers.reserve(target.headers.size() + collected.size() + 1);
    for (std::string& line : collected) {
        // The name ends at the first colon, without the blanks of the
        // obsolete form before it; the value starts after the blanks that
        // follow (RFC 5322 needs none: "Subject:hello").
        const std::size_t colon = line.find(':');
        const std::size_t start = line.find_first_not_of(' ', colon + 1);
        std::string value = start == std::string::npos ? std::string() : line.substr(start);
        line.erase(line.find_last_not_of(' ', colon - 1) + 1);
        if (!has_content_type && iequals(line, "Content-Type")) {
            has_content_type = true;
            synchronise_content_type(target, value);
        }
        target.headers.push_back({std::move(line), std::move(value)});
    }
    // Without one, the body fields kept their defaults: give the entity the
    // Content-Type header that they stand for.
    if (!has_content_type) {
        if (fallback == default_type::message) {
            target.body.content_type = "message/rfc822";
            target.headers.push_back({"Content-Type", "message/rfc822"});
        } else {
            target.headers.push_back(default_content_type());
        }
    }
    return result;
}

// Joins lines into data with one CR LF between two lines: the line break
// before a boundary line belongs to the boundary, and the last line of a
// message ends where the message does. Reading and writing are then exact
// inverses.
class line_joiner {
public:
    explicit line_joiner(std::string& data) : data(data) {}

    // Where the bytes of the next line go.
    std::string& next_line() {
        if (pending) data += "\r\n";
        pending = true;
        return data;
    }
    // The line just appended goes on in the next one (a soft line break).
    void continue_line() noexcept { pending = false; }

private:
    std::string& data;
    bool pending = false;
};

// Line by line: where a section is not clean base64 the line structure
// counts, since each line loses its trailing blanks and a group of four
// that ends a line ends whatever it held (padding included).
template <typename Lines>
void decode_base64_lines(std::string& data, Lines first, Lines last) {
    std::string buffer;
    for (; first != last; ++first) {
        // Some senders pad each line with a blank; counted, it would shift
        // the groups of four and glue this line's padding to the next.
        const std::string_view line = *first;
        buffer.append(line.substr(0, line.find_last_not_of(" \t") + 1));
        if (buffer.size() % 4 == 0) {
            coding::base64_decode(buffer, data, false);
            buffer.clear();
        }
    }
    coding::base64_decode(buffer, data, false);
}

template <typename Lines>
void decode_base64(std::string& data, Lines first, Lines last) {
    if constexpr (std::is_same_v<Lines, text_lines::iterator>) {
        // Symbols and line ends up to the padding, with nothing but padding,
        // blanks and line ends after it, decode alike in one pass and line by
        // line; that is nearly every body, and it is decoded in one call.
        const std::string_view text = text_lines::span(first, last);
        const std::size_t before = data.size();
        const std::size_t stop = coding::detail::base64_codec.decode_lines(text, data);
        if (text.find_first_not_of("= \t\r\n", stop) == std::string_view::npos) return;
        data.resize(before);
    }
    decode_base64_lines(data, first, last);
}

template <typename Lines>
void decode_quoted_printable(std::string& data, Lines first, Lines last) {
    line_joiner joiner(data);
    for (; first != last; ++first) {
        const std::string_view line = *first;
        const bool soft = line.ends_with('=');
        // Not strict: a stray "=" in one part must not make the whole message
        // unreadable; it is kept as it stands.
        coding::quoted_printable_decode(line.substr(0, line.size() - (soft ? 1 : 0)), joiner.next_line(), false);
        if (soft) joiner.continue_line();
    }
}

// Whether every line end in text is CR LF, so that the text is its lines
// joined. One branch-free pass, which the compiler can vectorize.
bool ends_only_in_crlf(std::string_view text) noexcept {
    if (text.empty()) return true;
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    unsigned char mismatch = 0;
    for (std::size_t i = 0; i + 1 < text.size(); ++i)
        mismatch |= static_cast<unsigned char>((bytes[i] == '\r') ^ (bytes[i + 1] == '\n'));
    return mismatch == 0 && text.front() != '\n' && text.back() != '\r';
}

// Whether a uuencoded block was converted, which makes target a multipart
// whose boundary is none of `outer`, the boundaries around it.
template <typename Lines>
bool decode_plain(entity& target, Lines first, Lines last, const outer_boundaries& outer) {
    if constexpr (std::is_same_v<Lines, text_lines::iterator>) {
        // Text in CR LF lines with no uuencoded block to look at is copied
        // as it stands.
        const std::string_view text = text_lines::span(first, last);
        if (ends_only_in_crlf(text) && !text.starts_with("begin") && text.find("\nbegin") == std::string_view::npos) {
            target.body.data.append(text);
            return false;
        }
    }
    line_joiner joiner(target.body.data);
    bool converted = false;
    for (; first != last; ++first) {
        const std::string_view line = *first;
        if (line.starts_with("begin")) {
            if (const auto end = uue_conversion(first, last, target)) {
                first = *end;
                converted = true;
                continue;
            }
        }
        joiner.next_line() += line;
    }
    if (converted) uue_restructure(target, outer);
    return converted;
}

template <typename Lines>
bool decode_section(entity& target, Lines first, Lines last, const outer_boundaries& outer) {
    // Enough for the plain text, which is the largest of the three results.
    std::size_t size = 0;
    if constexpr (std::is_same_v<Lines, text_lines::iterator>)
        size = text_lines::span(first, last).size();
    else
        for (auto line = first; line != last; ++line) size += line->size() + 2;

    const std::string encoding = target.transfer_encoding();
    if (encoding == "base64") {
        target.body.data.reserve(target.body.data.size() + size / 4 * 3 + 3);
        decode_base64(target.body.data, first, last);
    } else if (encoding == "quoted-printable") {
        target.body.data.reserve(target.body.data.size() + size);
        decode_quoted_printable(target.body.data, first, last);
    } else {
        target.body.data.reserve(target.body.data.size() + size);
        return decode_plain(target, first, last, outer);
    }
    return false;
}

// The boundary as delimiter lines carry it: trailing blanks would be cut
// by transports that strip them, so they are not looked for.
std::string_view matched_boundary(std::string_view boundary) noexcept {
    const std::size_t end = boundary.find_last_not_of(" \t");
    return boundary.substr(0, end == std::string_view::npos ? 0 : end + 1);
}

void read_text(entity& target, std::string_view text, unsigned depth, outer_boundaries& outer);

// An .eml file sent as application/octet-stream is an enclosed message.
void read_enclosed_attachment(entity& target, unsigned depth, outer_boundaries& outer) {
    // An empty body encloses nothing (and is written back the same way
    // whether its section was empty or missing).
    if (target.body.content_type != "application/octet-stream" || target.body.data.empty()) return;
    std::u16string file_name;
    try {
        // The name that attachment() gives once the entity is written.
        if (std::string old; target.find_header("Content-Type", old)) {
            header_type::parametized_value_type type;
            type.parse(written_content_type(old, target.body, target.boundary));
            type.parameter("name", file_name);
        }
        if (header_type::parametized_value_type disposition; target.get_header("Content-Disposition", disposition))
            disposition.parameter("filename", file_name);
    } catch (const unicode::generic&) {
        return;  // a name that cannot be decoded names no .eml file
    }
    if (!ends_with(to_lower(file_name), u".eml")) return;
    check_depth(depth);
    const std::string text = std::exchange(target.body.data, {});
    entity& child = target.children.emplace_back();
    child.headers.clear();
    outer.emplace_back(matched_boundary(target.boundary));
    read_text(child, text, depth + 1, outer);
    outer.pop_back();
    target.body.content_type = "message/rfc822";
    target.remove_headers("Content-Transfer-Encoding");
}

// A line that begins with "--" and the boundary is a delimiter, whatever
// follows (RFC 2046, section 5.1.1, the note to implementors): it takes
// transport padding, a comment and a boundary longer than the standard's 70
// characters alike.
bool is_delimiter(std::string_view line, std::string_view delimiter) noexcept {
    return line.starts_with(delimiter);
}

// The first line of [first, last) that opens or closes a part, or last.
template <typename Lines>
Lines find_boundary(Lines first, Lines last, const std::string& open) {
    if constexpr (std::is_same_v<Lines, text_lines::iterator>) {
        // Only a line that begins with "-" can be one, and base64 has no
        // "-": searching for it skips a body without cutting it into lines.
        // Each line start is compared once, so the search stays linear.
        if (first == last) return last;
        const char* const begin = first->data();
        const char* const end = last.at_end() ? first.text_end() : last->data();
        const text_lines text(std::string_view(begin, static_cast<std::size_t>(first.text_end() - begin)));
        for (const char* at = begin; at != end;) {
            const auto* dash = static_cast<const char*>(std::memchr(at, '-', static_cast<std::size_t>(end - at)));
            if (dash == nullptr) break;
            at = dash + 1;
            if (dash != begin && !line_scanner::is_end(dash[-1])) continue;
            if (is_delimiter(std::string_view(dash, static_cast<std::size_t>(first.text_end() - dash)), open))
                return text.line_at(dash);
        }
        return last;
    } else {
        for (; first != last; ++first)
            if (is_delimiter(*first, open)) return first;
        return last;
    }
}

template <typename Lines>
void read_entity(entity& target, Lines first, Lines last, unsigned depth, outer_boundaries& outer,
                 default_type fallback);

// A child read from the lines [first, last), appended to target.
template <typename Lines>
void read_child(entity& target, Lines first, Lines last, unsigned depth, outer_boundaries& outer,
                default_type fallback) {
    check_depth(depth);
    entity& child = target.children.emplace_back();
    child.headers.clear();
    outer.emplace_back(matched_boundary(target.boundary));
    read_entity(child, first, last, depth + 1, outer, fallback);
    outer.pop_back();
}

// The body of a leaf entity, or the preamble of a multipart one.
template <typename Lines>
void read_body(entity& target, Lines first, Lines last, unsigned depth, outer_boundaries& outer) {
    if (!decode_section(target, first, last, outer)) {
        read_enclosed_attachment(target, depth, outer);
        return;
    }
    // A uuencoded .eml file encloses a message as it does once written as
    // a MIME attachment and read back.
    outer.emplace_back(matched_boundary(target.boundary));
    for (entity& part : target.children) read_enclosed_attachment(part, depth + 1, outer);
    outer.pop_back();
}

// Whether a line of text would be taken for a delimiter of an enclosing
// multipart once the text is written as it stands.
bool meets_outer_delimiter(const std::string& text, const outer_boundaries& outer) {
    return std::any_of(outer.begin(), outer.end(), [&text](const std::string& boundary) {
        return !boundary.empty() && starts_a_line(text, "--" + boundary);
    });
}

// The enclosed message of a message/rfc822 entity.
template <typename Lines>
void read_message(entity& target, Lines first, Lines last, unsigned depth, outer_boundaries& outer) {
    const std::string encoding = target.transfer_encoding();
    if (encoding != "base64" && encoding != "quoted-printable") {
        read_child(target, first, last, depth, outer, default_type::text);
        return;
    }
    // No encoding is allowed here (RFC 2046, section 5.2.1), but mailers
    // send one: the message is read from the decoded text, never from the
    // encoded lines, and is written back as it stands. Where a line of it
    // would end an enclosing part, it stays encoded in the body instead.
    std::string text;
    if (encoding == "base64")
        decode_base64(text, first, last);
    else
        decode_quoted_printable(text, first, last);
    if (meets_outer_delimiter(text, outer)) {
        target.body.data = std::move(text);
        return;
    }
    check_depth(depth);
    entity& child = target.children.emplace_back();
    child.headers.clear();
    read_text(child, text, depth + 1, outer);
    target.remove_headers("Content-Transfer-Encoding");
}

template <typename Lines>
void read_entity(entity& target, Lines first, Lines last, unsigned depth, outer_boundaries& outer,
                 default_type fallback) {
    const header_end<Lines> header = read_headers(target, first, last, fallback);
    if (!header.has_body) return;
    if (target.body.content_type == "message/rfc822") {
        read_message(target, header.body, last, depth, outer);
        return;
    }
    const std::string_view boundary = matched_boundary(target.boundary);
    if (boundary.empty()) {
        read_body(target, header.body, last, depth, outer);
        return;
    }
    const std::string open = "--" + std::string(boundary);
    const std::string close = open + "--";
    // A boundary with trailing blanks closes with them too, as it is
    // written back: "--b1 --" must not open a part of its own.
    const std::string close_as_given = "--" + target.boundary + "--";
    const default_type parts =
        target.body.content_type == "multipart/digest" ? default_type::message : default_type::text;
    Lines end = find_boundary(header.body, last, open);
    read_body(target, header.body, end, depth, outer);
    while (end != last && !is_delimiter(*end, close) && !is_delimiter(*end, close_as_given)) {
        const Lines start = std::next(end);
        end = find_boundary(start, last, open);
        // A delimiter line right after another encloses nothing, not even
        // an empty header: it makes no part.
        if (start != end) read_child(target, start, end, depth, outer, parts);
    }
}

void read_text(entity& target, std::string_view text, unsigned depth, outer_boundaries& outer) {
    const text_lines lines(text);
    read_entity(target, lines.begin(), lines.end(), depth, outer, default_type::text);
}

template <typename Lines>
void read_top(entity& target, Lines first, Lines last, unsigned depth) {
    outer_boundaries outer;
    read_entity(target, first, last, depth, outer, default_type::text);
}

}  // namespace

entity::entity(std::string text, unsigned depth) : entity(std::string_view(text), depth) {}

entity::entity(std::string_view text, unsigned depth) {
    const text_lines lines(text);
    read_top(*this, lines.begin(), lines.end(), depth);
}

entity::entity(const std::vector<std::string>& lines) { read_top(*this, lines.begin(), lines.end(), 0); }

entity::entity(std::vector<std::string>::const_iterator first, std::vector<std::string>::const_iterator last,
               unsigned depth) { read_top(*this, first, last, depth); }

entity entity::load(const std::string& path) {
    std::error_code ec;
    const platform::unique_file file = platform::open_file(path, platform::open_mode::read, ec);
    if (ec) throw generic("unable to open file for input: " + path);
    std::string text;
    platform::read_pieces(file.get(), 64 * 1024, [&text](std::string_view piece) { text.append(piece); }, ec);
    if (ec) throw generic("unable to read file: " + path);

    return entity(std::move(text));
}

}  // namespace corvid::internet::message2
