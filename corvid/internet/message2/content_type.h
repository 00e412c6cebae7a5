// SPDX-License-Identifier: MIT
#ifndef CORVID_INTERNET_MESSAGE2_CONTENT_TYPE_H
#define CORVID_INTERNET_MESSAGE2_CONTENT_TYPE_H

#include <corvid/internet/message2/body.h>

#include <string>

namespace corvid::internet::message2 {

// The body fields that a Content-Type value gives an entity.
struct content_type_fields {
    // The media type in lower case.
    std::string content_type;
    // The charset parameter in lower case, or iso-8859-1 without one.
    std::string charset = "iso-8859-1";
    // The boundary parameter, or empty.
    std::string boundary;
};

// Reads a raw Content-Type value as the reader does. A value whose encoded
// words cannot be converted is read from its raw tokens instead, so this
// throws nothing but allocation errors. A value that names no media type
// (no "type/subtype" of tokens) gives text/plain in us-ascii, no boundary.
content_type_fields read_content_type(const std::string& value);

// The Content-Type value written for an entity whose header held `old`: old
// with the body fields and the boundary set in it, or only those when old
// cannot be decoded or would then read back other fields. Reading a file
// name from what will be written keeps the reader's choices the same on the
// next reading.
std::string written_content_type(const std::string& old, const body& content, const std::string& boundary);

}  // namespace corvid::internet::message2

#endif
