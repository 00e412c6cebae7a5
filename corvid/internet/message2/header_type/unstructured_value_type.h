// SPDX-License-Identifier: MIT
#ifndef CORVID_INTERNET_MESSAGE2_HEADER_TYPE_UNSTRUCTURED_VALUE_TYPE_H
#define CORVID_INTERNET_MESSAGE2_HEADER_TYPE_UNSTRUCTURED_VALUE_TYPE_H

#include <corvid/internet/message2/header_type/generic_value_type.h>

#include <string>

namespace corvid::internet::message2::header_type {

// A header value that is one text, such as Subject or
// Content-Transfer-Encoding, with encoded words for non-ASCII characters.
// Throws only the conversion errors of corvid::unicode.
class unstructured_value_type : public generic_value_type {
public:
    unstructured_value_type() = default;
    explicit unstructured_value_type(std::string charset);

    std::string render() const override;
    void parse(const std::string& raw) override;

    virtual const std::u16string& text() const;
    virtual std::string text_in(int codepage) const;
    virtual void set_text(std::u16string text);
    virtual void set_text_from(const std::string& bytes, int codepage);

protected:
    std::u16string value;
};

}  // namespace corvid::internet::message2::header_type

#endif
