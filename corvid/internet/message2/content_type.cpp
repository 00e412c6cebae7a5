// SPDX-License-Identifier: MIT
#include <corvid/internet/message2/content_type.h>

#include <corvid/internet/message2/header_type/parametized_value_type.h>
#include <corvid/text.h>
#include <corvid/unicode/convert.h>
#include <corvid/unicode/errors.h>

#include <algorithm>
#include <vector>

namespace corvid::internet::message2 {

namespace {

// A raw token without its outer blanks, in UTF-8. Its bytes are read as the
// parsed value reads undecorated bytes (one character per byte), so that
// both ways give text the writer can take back.
std::string field_text(std::string text) {
    text.erase(0, std::min(text.find_first_not_of(' '), text.size()));
    text.erase(text.find_last_not_of(' ') + 1);
    return unicode::to_narrow(unicode::to_wide(text, unicode::no_codepage), unicode::utf8_codepage);
}

// The media type and the charset and boundary parameters taken from the raw
// tokens, without decoding encoded words: for values whose encoded words
// cannot be converted.
content_type_fields read_raw(const std::string& value) {
    content_type_fields fields;
    using header_type::generic_value_type;
    const std::vector<std::string> tokens = generic_value_type::tokenize(value, ";,", true);
    const bool has_value = header_type::parametized_value_type::has_main_value(value);
    if (has_value && !tokens.empty()) fields.content_type = to_lower(field_text(tokens.front()));
    bool charset_found = false;
    bool boundary_found = false;
    for (std::size_t i = has_value ? 1 : 0; i < tokens.size(); ++i) {
        const auto raw = header_type::parametized_value_type::split_parameter(tokens[i]);
        if (!raw) continue;
        const std::string parameter = field_text(raw->text);
        if (!charset_found && iequals(raw->name, "charset") && !parameter.empty()) {
            fields.charset = to_lower(parameter);
            charset_found = true;
        } else if (!boundary_found && iequals(raw->name, "boundary")) {
            fields.boundary = parameter;
            boundary_found = true;
        }
    }
    return fields;
}

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

// RFC 2045 token characters: printable ASCII but the blank and tspecials.
bool is_token(std::string_view text) noexcept {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return c > ' ' && c < 0x7F && std::string_view("()<>@,;:\\\"/[]?=").find(c) == std::string_view::npos;
    });
}

// Whether text is a type and a subtype, each a token, around one slash.
bool is_media_type(std::string_view text) noexcept {
    const std::size_t slash = text.find('/');
    return slash != std::string_view::npos && is_token(text.substr(0, slash)) && is_token(text.substr(slash + 1));
}

// The fields as the value gives them, whether it names a media type or not.
content_type_fields read_fields(const std::string& value) {
    header_type::parametized_value_type type;
    try {
        type.parse(value);
    } catch (const unicode::generic&) {
        // One malformed encoded word, say in a file name, must not make the
        // whole message unreadable.
        return read_raw(value);
    }
    content_type_fields fields;
    fields.content_type = to_lower(type.text_in(unicode::utf8_codepage));
    std::string parameter;
    // An empty charset names none: the default holds, as the writer, which
    // writes no empty one, needs for the message to read the same again.
    if (type.parameter_in("charset", unicode::utf8_codepage, parameter) && !parameter.empty())
        fields.charset = to_lower(parameter);
    parameter.clear();
    if (type.parameter_in("boundary", unicode::utf8_codepage, parameter)) fields.boundary = parameter;
    return fields;
}

}  // namespace

std::string written_content_type(const std::string& old, const body& content, const std::string& boundary) {
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

content_type_fields read_content_type(const std::string& value) {
    content_type_fields fields = read_fields(value);
    // A value that names no media type, say "text" or "application-x-gzip",
    // stands for the default of a body without one (RFC 2045, section 5.2).
    if (!is_media_type(fields.content_type)) {
        fields.content_type = "text/plain";
        fields.charset = "us-ascii";
        fields.boundary.clear();
    }
    return fields;
}

}  // namespace corvid::internet::message2
