// SPDX-License-Identifier: MIT
#include <corvid/internet/message2/header_type/parametized_value_type.h>

#include <corvid/internet/message2/header_type/extended_parameter.h>

#include <corvid/text.h>
#include <corvid/unicode/convert.h>

#include <algorithm>
#include <optional>

namespace corvid::internet::message2::header_type {

parametized_value_type::parametized_value_type(std::string charset)
    : unstructured_value_type(std::move(charset)) {}

std::string parametized_value_type::render() const {
    // Delimiters, quotes and backslashes in the main value would split it or
    // vanish when it is read back, and a leading colon would be taken for
    // part of the header's separator; inside an encoded word they cannot.
    const bool special =
        value.starts_with(u':') || value.find_first_of(u";,\"\\") != value.npos || loses_blanks(value);
    std::string raw = special ? encode_word(value) : encode_text(value);
    for (const auto& p : parameters) {
        raw += "; ";
        raw += p.name;
        raw += "=\"";
        // A backslash inside the quotes escapes the next character when the
        // value is read back, so it is escaped itself (RFC 5322 3.2.4).
        for (const char c : encode_quoted(p.value)) {
            if (c == '\\' || c == '"') raw += '\\';
            raw += c;
        }
        raw += '"';
    }
    return raw;
}

void parametized_value_type::parse(const std::string& raw) {
    value.clear();
    parameters.clear();
    const std::vector<std::string> tokens = tokenize(raw, ";,", true);
    if (tokens.empty()) return;
    const bool has_value = has_main_value(raw);
    if (has_value) value = decode_text(tokens.front());
    for (std::size_t i = has_value ? 1 : 0; i < tokens.size(); ++i) {
        const std::optional<raw_parameter> raw_one = split_parameter(tokens[i]);
        if (!raw_one) continue;
        std::u16string text = decode_text(raw_one->text);
        // Blanks inside the quotes are part of the value, at its end too (a
        // long name cut into sections may break at one).
        if (raw_one->quoted) {
            const std::size_t kept = raw_one->text.find_last_not_of(' ') + 1;
            if (!text.ends_with(u' ') || kept == 0) text.append(raw_one->text.size() - kept, u' ');
        }
        parameters.push_back({raw_one->name, std::move(text)});
    }
}

std::optional<raw_parameter> parametized_value_type::split_parameter(std::string_view token) {
    // The name ends at the first "=": the value may hold more, an unquoted
    // encoded word ("name==?utf-8?B?...?=") among them.
    const std::size_t equals = token.find('=');
    std::string_view name = token.substr(0, equals);
    name.remove_suffix(name.size() - std::min(name.size(), name.find_last_not_of(' ') + 1));
    if (name.empty()) return std::nullopt;
    raw_parameter result{std::string(name), {}, false};
    if (equals == token.npos) return result;
    std::string_view value = token.substr(equals + 1);
    value.remove_prefix(std::min(value.size(), value.find_first_not_of(' ')));
    if (!value.starts_with('"')) {
        value.remove_suffix(value.size() - std::min(value.size(), value.find_last_not_of(' ') + 1));
        result.text = value;
        return result;
    }
    // A quoted string: each quoted pair gives its character; whatever
    // follows the closing quote is joined to it, as lenient readers do.
    result.quoted = true;
    bool quoted = false;
    for (std::size_t i = 0; i < value.size(); ++i) {
        const char c = value[i];
        if (c == '"') {
            quoted = !quoted;
        } else if (c == '\\' && i + 1 < value.size()) {
            result.text += value[++i];
        } else if (quoted || c != ' ') {
            result.text += c;
        }
    }
    return result;
}

bool parametized_value_type::has_main_value(std::string_view raw) noexcept {
    const std::size_t start = raw.find_first_not_of(' ');
    return start != raw.npos && raw[start] != ';' && raw[start] != ',';
}

std::size_t parametized_value_type::find(std::string_view name) const {
    const auto found = std::find_if(parameters.begin(), parameters.end(),
                                    [name](const header_type::parameter& p) { return iequals(p.name, name); });
    return static_cast<std::size_t>(found - parameters.begin());
}

bool parametized_value_type::parameter(std::string_view name, std::u16string& value) const {
    const std::size_t i = find(name);
    if (i != parameters.size()) {
        value = parameters[i].value;
        return true;
    }
    // Current mailers give long and non-ASCII values in the RFC 2231 forms;
    // the plain name, when present, still wins.
    return extended_parameter(parameters, name, value);
}

bool parametized_value_type::parameter_in(std::string_view name, int codepage, std::string& value) const {
    std::u16string wide;
    if (!parameter(name, wide)) return false;
    value = unicode::to_narrow(wide, codepage);
    return true;
}

void parametized_value_type::set_parameter(std::string_view name, std::u16string value) {
    const std::size_t i = find(name);
    if (i == parameters.size())
        parameters.push_back({std::string(name), std::move(value)});
    else
        parameters[i].value = std::move(value);
}

void parametized_value_type::set_parameter_from(std::string_view name, const std::string& value, int codepage) {
    set_parameter(name, unicode::to_wide(value, codepage));
}

void parametized_value_type::remove_parameter(std::string_view name) {
    const std::size_t i = find(name);
    if (i != parameters.size()) parameters.erase(parameters.begin() + static_cast<std::ptrdiff_t>(i));
}

}  // namespace corvid::internet::message2::header_type
