// SPDX-License-Identifier: MIT
#ifndef CORVID_MAP_TEXT_H
#define CORVID_MAP_TEXT_H

#include <map>
#include <string>
#include <string_view>

namespace corvid {

// A flat text form of a string map: "[key|value]" per pair, in key order, e.g.
// {"k": "v", "a": "b"} is "[a|b][k|v]".
//
// map_to_text throws corvid::exception for an empty key or a key or value
// containing "[", "]" or "|": their text would read back as other pairs.
std::string map_to_text(const std::map<std::string, std::string>& map);

// Reads the text form back. A piece "[key]" or "[key|]" gives the key with an
// empty value; pieces with more than one "|" are skipped; the first piece with
// a key wins. Throws nothing but allocation errors.
std::map<std::string, std::string> text_to_map(std::string_view text);

}  // namespace corvid

#endif
