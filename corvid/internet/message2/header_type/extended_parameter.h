// SPDX-License-Identifier: MIT
#ifndef CORVID_INTERNET_MESSAGE2_HEADER_TYPE_EXTENDED_PARAMETER_H
#define CORVID_INTERNET_MESSAGE2_HEADER_TYPE_EXTENDED_PARAMETER_H

#include <corvid/internet/message2/header_type/parametized_value_type.h>

#include <string>
#include <string_view>
#include <vector>

namespace corvid::internet::message2::header_type {

// The value of parameter `name` given in the RFC 2231 forms: `name*` holding
// charset'language'percent-escaped bytes, or numbered sections `name*0`,
// `name*1`, ... (each escaped when its name ends in "*") joined in numeric
// order and read in the charset the first section names. Names match
// case-insensitively. False, value untouched, when there is no such
// parameter. Flaws never fail: a gap in the numbering joins the sections
// there are, a bad escape stays as written, escaped bytes with no charset
// named are read as UTF-8 where they are valid UTF-8, and bytes the charset
// cannot read are taken one character per byte.
bool extended_parameter(const std::vector<parameter>& parameters, std::string_view name, std::u16string& value);

}  // namespace corvid::internet::message2::header_type

#endif
