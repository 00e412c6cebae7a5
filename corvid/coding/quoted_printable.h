// SPDX-License-Identifier: MIT
#ifndef CORVID_CODING_QUOTED_PRINTABLE_H
#define CORVID_CODING_QUOTED_PRINTABLE_H

#include <string>
#include <string_view>

// Quoted-printable escapes without line structure: no line-length limit, no
// soft line breaks, and "_" is not a space (callers handle both).
//
// Encoding writes "=" and two upper-case hexadecimal digits for 0x00-0x1F,
// "=", 0x7F-0xFF and also '"', "?" and "_", so that once the caller turns
// spaces into "_" the text fits an encoded word; every other byte, space
// included, is copied.
//
// Decoding turns "=" and two hexadecimal digits (either case) into the byte.
// An "=" in the last or second-to-last place is copied. An "=" followed by
// two bytes that are not both digits throws translate::invalid_codeword
// naming the first bad one in strict mode, and is otherwise copied, the two
// bytes then read as ordinary input. The appending form that throws keeps
// what it had appended.
namespace corvid::coding {

std::string quoted_printable_encode(std::string_view bytes);
void quoted_printable_encode(std::string_view bytes, std::string& out);

// Always strict.
std::string quoted_printable_decode(std::string_view text);
void quoted_printable_decode(std::string_view text, std::string& out, bool strict);

}  // namespace corvid::coding

#endif
