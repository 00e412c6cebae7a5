// SPDX-License-Identifier: MIT
#ifndef CORVID_INTERNET_MESSAGE2_ENTITY_H
#define CORVID_INTERNET_MESSAGE2_ENTITY_H

#include <corvid/internet/message2/body.h>
#include <corvid/internet/message2/header_field.h>

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace corvid::internet::message2 {

namespace header_type {
class generic_value_type;
}

class entity;

// Whether an entity is meant as an attachment, and the file name it gives.
struct attachment_info {
    bool is_attachment = false;
    std::u16string file_name;
};

// One entity of a part index and its parent (null for the starting entity).
struct part_entry {
    entity* part = nullptr;
    entity* parent = nullptr;
};

// Entities by depth below the starting one (depth 0); entries of equal depth
// in pre-order. The pointers stay valid while the tree is not modified.
using part_index = std::multimap<unsigned, part_entry>;

// One MIME entity: headers in order, a body, a multipart boundary and owned
// child entities. The same class is a whole message, a part of a multipart
// entity, or the enclosed message of a message/rfc822 entity.
// The Content-Type header and the fields body.content_type, body.charset and
// boundary describe the same facts; when the entity is written, the fields
// win and the header is rewritten from them. Copies are deep.
// Header names match case-insensitively and keep their spelling.
// Throws the conversion errors of corvid::unicode, and message2::generic when
// a file cannot be written.
class entity {
public:
    header_list headers;
    message2::body body;
    // Without the leading "--"; set only on multipart entities.
    std::string boundary;
    // The parts of a multipart entity, or the one enclosed message.
    std::vector<entity> children;

    // A text/plain entity in iso-8859-1 with exactly one header, its
    // Content-Type.
    entity();

    // Reads a whole message. The text is cut into lines at CR, LF, CR LF and
    // LF CR; depth is that of the entity read (0 for a top-level message),
    // and no entity more than 64 levels deep is made: a child below that
    // throws depth_limit and nothing of the tree survives. The header ends
    // at an empty (or blank) line, or at the first line that is no field,
    // which begins the body; an mbox "From " line before it is skipped. The
    // first Content-Type counts, and the default one (message/rfc822 in a
    // digest) is added only when the text has none.
    explicit entity(std::string text, unsigned depth = 0);
    // The same, reading text that the caller keeps: nothing of it is copied
    // but what the tree holds.
    explicit entity(std::string_view text, unsigned depth = 0);
    explicit entity(const char* text, unsigned depth = 0) : entity(std::string_view(text), depth) {}
    explicit entity(const std::vector<std::string>& lines);
    entity(std::vector<std::string>::const_iterator first, std::vector<std::string>::const_iterator last,
           unsigned depth = 0);

    // Reads the message in a file as the text constructor does; throws
    // generic when the file cannot be opened or read.
    static entity load(const std::string& path);

    // Appends a header; an existing header of the same name stays.
    void add_header(std::string name, std::string value);
    void add_header(std::string name, const header_type::generic_value_type& value);
    // The raw value of the first header called name.
    bool find_header(std::string_view name, std::string& value) const;
    // Parses the first header called name; false, kind untouched, when none.
    bool get_header(std::string_view name, header_type::generic_value_type& value) const;
    // Removes every header called name.
    void remove_headers(std::string_view name);
    // The first Content-Transfer-Encoding in lower case, or "" (also when
    // its encoded words cannot be converted).
    std::string transfer_encoding() const;

    // Decided by Content-Disposition when there is one, else by whether the
    // Content-Type is message/rfc822.
    attachment_info attachment() const;
    // This entity and its descendants in pre-order. With skip_enclosed,
    // message/rfc822 entities are left out with everything below them.
    part_index enumerate_parts(bool skip_enclosed);
    // enumerate_parts restricted to media types beginning with prefix
    // (compared in lower case), e.g. "text/" or "image/".
    part_index find_parts(std::string prefix, bool skip_enclosed);

    // Appends the message lines of this entity and its subtree, without line
    // terminators. The entity is not modified.
    void write(std::vector<std::string>& lines) const;
    std::vector<std::string> write() const;
    // The message as text: the lines, each ended by CR LF, except that a
    // message whose last body line had no line end in the data ends without
    // one, so that reading the text gives the same data back.
    std::string write_text() const;
    // Writes write_text() to a file. The file is replaced only once the
    // whole message is written: on failure it stays as it was, and generic
    // is thrown.
    void save(const std::string& path) const;
};

}  // namespace corvid::internet::message2

#endif
