// SPDX-License-Identifier: MIT
#ifndef CORVID_INTERNET_MESSAGE2_HEADER_FIELD_H
#define CORVID_INTERNET_MESSAGE2_HEADER_FIELD_H

#include <string>
#include <vector>

namespace corvid::internet::message2 {

// One header as it stands on the wire: the name in the spelling it was given
// and the raw value after ": ", continuation lines already joined. Nothing
// interprets the value until a caller parses it with a value kind.
struct header_field {
    std::string name;
    std::string value;
};

// Headers in the order they were added or read; duplicates allowed.
using header_list = std::vector<header_field>;

}  // namespace corvid::internet::message2

#endif
