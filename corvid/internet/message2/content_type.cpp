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
    fields.content_type = tokens.empty() ? std::string() : to_lower(field_text(tokens.front()));
    bool charset_found = false;
    bool boundary_found = false;
    for (std::size_t i = 1; i < tokens.size(); ++i) {
        const std::vector<std::string> pieces = generic_value_type::tokenize(tokens[i], "=", false);
        if (pieces.empty() || pieces.size() > 2) continue;
        const std::string parameter = pieces.size() == 2 ? field_text(pieces[1]) : std::string();
        if (!charset_found && iequals(pieces[0], "charset") && !parameter.empty()) {
            fields.charset = to_lower(parameter);
            charset_found = true;
        } else if (!boundary_found && iequals(pieces[0], "boundary")) {
            fields.boundary = parameter;
            boundary_found = true;
        }
    }
    return fields;
}

}  // namespace

content_type_fields read_content_type(const std::string& value) {
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

}  // namespace corvid::internet::message2
