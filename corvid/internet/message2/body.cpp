// SPDX-License-Identifier: MIT
#include <corvid/internet/message2/body.h>

#include <corvid/unicode/charset.h>
#include <corvid/unicode/convert.h>

namespace corvid::internet::message2 {

const std::u16string& body::text() const {
    if (cached_text.empty() && !data.empty())
        cached_text = unicode::to_wide(data, unicode::codepage_from_charset(charset));
    return cached_text;
}

std::string body::text_in(int codepage) const {
    return unicode::to_narrow(text(), codepage);
}

void body::set_text(std::u16string text) {
    // Convert first: a text the charset cannot hold leaves the body as it was.
    std::string bytes = unicode::to_narrow(text, unicode::codepage_from_charset(charset));
    cached_text = std::move(text);
    data = std::move(bytes);
}

void body::set_text_from(const std::string& bytes, int codepage) {
    set_text(unicode::to_wide(bytes, codepage));
}

}  // namespace corvid::internet::message2
