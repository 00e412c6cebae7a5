// SPDX-License-Identifier: MIT
#ifndef CORVID_INTERNET_MESSAGE2_HEADER_TYPE_PARAMETIZED_VALUE_TYPE_H
#define CORVID_INTERNET_MESSAGE2_HEADER_TYPE_PARAMETIZED_VALUE_TYPE_H

#include <corvid/internet/message2/header_type/unstructured_value_type.h>

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvid::internet::message2::header_type {

// One parameter of a parametized value. Names stay narrow (ASCII on the
// wire) and keep the spelling they were given.
struct parameter {
    std::string name;
    std::u16string value;
};

// One parameter as it stands in a header: the name, and the value with its
// quotes and quoted pairs undone but encoded words still in it.
struct raw_parameter {
    std::string name;
    std::string text;
    // Whether the value was a quoted string, whose blanks all count.
    bool quoted = false;
};

// A value followed by name="value" parameters after semicolons, as in
// Content-Type and Content-Disposition. text() is the value before the first
// parameter. Parameter names match case-insensitively; duplicates are kept
// and lookups see the first. Throws only the conversion errors of
// corvid::unicode.
class parametized_value_type : public unstructured_value_type {
public:
    std::vector<header_type::parameter> parameters;

    parametized_value_type() = default;
    explicit parametized_value_type(std::string charset);

    std::string render() const override;
    void parse(const std::string& raw) override;
    // Whether the first token of raw is the main value: "; name=x" has an
    // empty one, which tokenize drops.
    static bool has_main_value(std::string_view raw) noexcept;
    // One "name=value" token as tokenize(raw, ";,", true) cuts it; nullopt
    // when it names nothing. A name alone has an empty value.
    static std::optional<raw_parameter> split_parameter(std::string_view token);

    // The first parameter called name, else its RFC 2231 form (name* or
    // numbered sections name*0, name*1, ...); false, value untouched, when
    // there is neither.
    bool parameter(std::string_view name, std::u16string& value) const;
    bool parameter_in(std::string_view name, int codepage, std::string& value) const;
    // Replaces the first parameter called name in place, or appends one.
    void set_parameter(std::string_view name, std::u16string value);
    void set_parameter_from(std::string_view name, const std::string& value, int codepage);
    // Removes the first parameter called name only.
    void remove_parameter(std::string_view name);

private:
    // Index of the first parameter called name, or parameters.size().
    std::size_t find(std::string_view name) const;
};

}  // namespace corvid::internet::message2::header_type

#endif
