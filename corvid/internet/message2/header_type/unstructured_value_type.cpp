// SPDX-License-Identifier: MIT
#include <corvid/internet/message2/header_type/unstructured_value_type.h>

#include <corvid/unicode/convert.h>

namespace corvid::internet::message2::header_type {

unstructured_value_type::unstructured_value_type(std::string charset)
    : generic_value_type(std::move(charset)) {}

std::string unstructured_value_type::render() const {
    return encode_text(value);
}

void unstructured_value_type::parse(const std::string& raw) {
    value.clear();
    value = decode_text(raw);
}

const std::u16string& unstructured_value_type::text() const {
    return value;
}

std::string unstructured_value_type::text_in(int codepage) const {
    return unicode::to_narrow(text(), codepage);
}

void unstructured_value_type::set_text(std::u16string text) {
    value = std::move(text);
}

void unstructured_value_type::set_text_from(const std::string& bytes, int codepage) {
    set_text(unicode::to_wide(bytes, codepage));
}

}  // namespace corvid::internet::message2::header_type
