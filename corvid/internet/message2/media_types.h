// SPDX-License-Identifier: MIT
#ifndef CORVID_INTERNET_MESSAGE2_MEDIA_TYPES_H
#define CORVID_INTERNET_MESSAGE2_MEDIA_TYPES_H

#include <string>
#include <string_view>
#include <unordered_map>

namespace corvid::internet::message2 {

// Media types by file name extension, read from text in the format of the
// system's mime.types: a media type and its extensions on each line, "#"
// starting a comment. Extensions match case-insensitively; of two lines
// that name one extension, the first counts. A table never changes once
// made, so one may be shared between threads.
class media_type_table {
public:
    // The media type of a file whose extension is in no table.
    static constexpr std::string_view unknown = "application/octet-stream";

    // An empty table, which knows no extension.
    media_type_table() = default;
    explicit media_type_table(std::string_view text);

    // Reads a file in that format; throws message2::generic when it cannot
    // be read.
    static media_type_table load(const std::string& path);
    // The table of /etc/mime.types (Debian's media-types package), read on
    // the first call; empty where the file is missing or cannot be read.
    static const media_type_table& system();

    // The media type for a file name, by what follows its last dot, or
    // `unknown`. A name without a dot, or with one only at its start
    // (".profile"), has no extension.
    std::string type_of(std::string_view file_name) const;

private:
    // Lower-case extension to media type.
    std::unordered_map<std::string, std::string> types;
};

}  // namespace corvid::internet::message2

#endif
