// SPDX-License-Identifier: MIT
#ifndef CORVID_CODING_URL_H
#define CORVID_CODING_URL_H

#include <string>
#include <string_view>

// URL escapes: ASCII letters and digits are copied, every other byte (space
// included) becomes "%" and two upper-case hexadecimal digits. Decoding
// works as quoted-printable decoding with "%" for "=" (quoted_printable.h);
// "+" stays "+".
namespace corvid::coding {

std::string url_encode(std::string_view bytes);
void url_encode(std::string_view bytes, std::string& out);

// Always strict.
std::string url_decode(std::string_view text);
void url_decode(std::string_view text, std::string& out, bool strict);

}  // namespace corvid::coding

#endif
