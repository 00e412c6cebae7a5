// SPDX-License-Identifier: MIT
#ifndef CORVID_INTERNET_MESSAGE2_BODY_H
#define CORVID_INTERNET_MESSAGE2_BODY_H

#include <string>

namespace corvid::internet::message2 {

// The content of one entity: its media type, the charset of its text and its
// bytes, already decoded from any transfer encoding. The text is a cache
// filled from `data` on first request; set_text keeps both in step, but a
// caller that assigns `data` afterwards must set the text again to see it.
// Throws only the conversion errors of corvid::unicode.
class body {
public:
    // Media type and subtype without parameters, e.g. "text/plain".
    std::string content_type = "text/plain";
    // Charset of `data` when the body is text.
    std::string charset = "iso-8859-1";
    // The bytes: text encoded in `charset`, or raw content.
    std::string data;

    // The body as wide text, decoded from `data` with `charset` when the
    // cache is empty.
    const std::u16string& text() const;
    std::string text_in(int codepage) const;
    // Stores the text and its bytes in `charset`.
    void set_text(std::u16string text);
    void set_text_from(const std::string& bytes, int codepage);

private:
    mutable std::u16string cached_text;
};

}  // namespace corvid::internet::message2

#endif
