// Parsing message lines into an entity tree.
//
// The text is held once, as a list of lines; every entity reads a range of
// that list, so a part is never copied before it is decoded. Each section is
// scanned once for its end and once to decode it, which keeps reading linear
// in the input whatever the number of parts, headers or line lengths.

#include <corvid/internet/message2/entity.h>

#include <corvid/internet/message2/content_type.h>
#include <corvid/internet/message2/errors.h>
#include <corvid/internet/message2/header_type/parametized_value_type.h>
#include <corvid/internet/message2/uue_conversion.h>

#include <corvid/coding/base64.h>
#include <corvid/coding/quoted_printable.h>
#include <corvid/line_reader.h>
#include <corvid/platform/file.h>
#include <corvid/text.h>
#include <corvid/unicode/convert.h>
#include <corvid/unicode/errors.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace corvid::internet::message2 {

namespace {

// Deeper entities than this are refused: reading recurses once per level, and
// a hostile message could otherwise nest until the stack runs out.
constexpr unsigned depth_ceiling = 64;

// The white space of the classic locale, whatever the global one is.
bool is_space(char c) noexcept {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

std::vector<std::string> split_lines(std::string text) {
    std::vector<std::string> lines;
    line_reader reader(std::move(text));
    reader.finish();
    reader.get_lines(lines);
    return lines;
}

void check_depth(unsigned depth) {
    if (depth >= depth_ceiling) throw depth_limit("MIME tree depth exceeded");
}

// Keeps the body fields in step with a Content-Type header just read; called
// for each one, so the last one wins.
void synchronise_content_type(entity& target, const std::string& value) {
    content_type_fields fields = read_content_type(value);
    target.body.content_type = std::move(fields.content_type);
    target.body.charset = std::move(fields.charset);
    target.boundary = std::move(fields.boundary);
}

// Unfolds and splits the header block [first, end); returns where it ended
// (the empty line, or end).
line_iterator read_headers(entity& target, line_iterator first, line_iterator end) {
    std::vector<std::string> collected;
    for (; first != end && !first->empty(); ++first) {
        std::string unfolded = *first;
        for (char& c : unfolded)
            if (is_space(c)) c = ' ';
        const std::size_t start = unfolded.find_first_not_of(' ');
        unfolded.erase(0, start == std::string::npos ? unfolded.size() : start);
        if (is_space(first->front()) && !collected.empty()) {
            collected.back() += ' ';
            collected.back() += unfolded;
        } else {
            collected.push_back(std::move(unfolded));
        }
    }

    bool has_content_type = false;
    target.headers.reserve(target.headers.size() + collected.size());
    for (std::string& line : collected) {
        // The name ends at the first ": ", or else at the first colon: RFC
        // 5322 needs no blank after it ("Subject:hello"). Either way the value
        // starts after the colons and blanks that follow, so that what the
        // writer makes of a header reads back the same.
        std::size_t colon = line.find(": ");
        if (colon == std::string::npos) colon = line.find(':');
        std::string value;
        if (colon != std::string::npos) {
            const std::size_t start = line.find_first_not_of(": ", colon);
            if (start != std::string::npos) value = line.substr(start);
            line.erase(colon);
        }
        const bool is_content_type = iequals(line, "Content-Type");
        if (is_content_type) {
            has_content_type = true;
            synchronise_content_type(target, value);
        }
        target.headers.push_back({std::move(line), std::move(value)});
    }
    // Without one, the body fields kept their defaults: give the entity the
    // Content-Type header that a new entity starts with.
    if (!has_content_type) target.headers.push_back(entity().headers.front());
    return first;
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

void decode_base64(std::string& data, line_iterator first, line_iterator last) {
    std::string buffer;
    for (; first != last; ++first) {
        // Some senders pad each line with a blank; counted, it would shift
        // the groups of four and glue this line's padding to the next.
        const std::size_t end = first->find_last_not_of(" \t");
        buffer.append(*first, 0, end == std::string::npos ? 0 : end + 1);
        if (buffer.size() % 4 == 0) {
            coding::base64_decode(buffer, data, false);
            buffer.clear();
        }
    }
    coding::base64_decode(buffer, data, false);
}

void decode_quoted_printable(std::string& data, line_iterator first, line_iterator last) {
    line_joiner joiner(data);
    for (; first != last; ++first) {
        const bool soft = ends_with(*first, "=");
        // Not strict: a stray "=" in one part must not make the whole message
        // unreadable; it is kept as it stands.
        coding::quoted_printable_decode(std::string_view(*first).substr(0, first->size() - (soft ? 1 : 0)),
                                        joiner.next_line(), false);
        if (soft) joiner.continue_line();
    }
}

void decode_plain(entity& target, line_iterator first, line_iterator last) {
    line_joiner joiner(target.body.data);
    bool converted = false;
    for (; first != last; ++first) {
        if (starts_with(*first, "begin")) {
            if (const auto end = uue_conversion(first, last, target)) {
                first = *end;
                converted = true;
                continue;
            }
        }
        joiner.next_line() += *first;
    }
    if (converted) uue_restructure(target);
}

void decode_section(entity& target, line_iterator first, line_iterator last) {
    // Enough for the plain text, which is the largest of the three results.
    std::size_t size = 0;
    for (auto line = first; line != last; ++line) size += line->size() + 2;
    target.body.data.reserve(target.body.data.size() + size);

    const std::string encoding = target.transfer_encoding();
    if (encoding == "base64")
        decode_base64(target.body.data, first, last);
    else if (encoding == "quoted-printable")
        decode_quoted_printable(target.body.data, first, last);
    else
        decode_plain(target, first, last);
}

// An .eml file sent as application/octet-stream is an enclosed message.
void read_enclosed_attachment(entity& target, unsigned depth) {
    // An empty body encloses nothing (and is written back the same way
    // whether its section was empty or missing).
    if (target.body.content_type != "application/octet-stream" || target.body.data.empty()) return;
    std::u16string file_name;
    try {
        file_name = target.attachment().file_name;
    } catch (const unicode::generic&) {
        return;  // a name that cannot be decoded names no .eml file
    }
    if (!ends_with(to_lower(file_name), u".eml")) return;
    check_depth(depth);
    target.children.emplace_back(std::exchange(target.body.data, {}), depth + 1);
    target.body.content_type = "message/rfc822";
    target.remove_headers("Content-Transfer-Encoding");
}

// A delimiter line may carry trailing blanks and tabs, transport padding
// that does not count (RFC 2046, section 5.1.1).
bool is_delimiter(std::string_view line, std::string_view delimiter) {
    return line.starts_with(delimiter) &&
           line.find_first_not_of(" \t", delimiter.size()) == std::string_view::npos;
}

line_iterator find_boundary(line_iterator first, line_iterator last, const std::string& open,
                            const std::string& close) {
    for (; first != last; ++first)
        if (is_delimiter(*first, open) || is_delimiter(*first, close)) return first;
    return last;
}

void read_entity(entity& target, line_iterator first, line_iterator last, unsigned depth) {
    line_iterator position = read_headers(target, first, last);

    const std::string open = "--" + target.boundary;
    const std::string close = open + "--";
    bool children_mode = target.body.content_type == "message/rfc822";
    while (position != last && !is_delimiter(*position, close)) {
        const line_iterator start = std::next(position);
        const line_iterator end = target.boundary.empty() ? last : find_boundary(start, last, open, close);
        if (children_mode) {
            check_depth(depth);
            target.children.emplace_back(start, end, depth + 1);
        } else {
            decode_section(target, start, end);
            read_enclosed_attachment(target, depth);
        }
        if (!target.boundary.empty()) children_mode = true;
        position = end;
    }
}

}  // namespace

entity::entity(std::string text, unsigned depth) {
    const std::vector<std::string> lines = split_lines(std::move(text));
    read_entity(*this, lines.begin(), lines.end(), depth);
}

entity::entity(std::string_view text, unsigned depth) : entity(std::string(text), depth) {}

entity::entity(const std::vector<std::string>& lines) { read_entity(*this, lines.begin(), lines.end(), 0); }

entity::entity(line_iterator first, line_iterator last, unsigned depth) { read_entity(*this, first, last, depth); }

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
