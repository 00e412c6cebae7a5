// SPDX-License-Identifier: MIT
#ifndef CORVID_CODING_BASE64_H
#define CORVID_CODING_BASE64_H

#include <cstdint>
#include <string>
#include <string_view>

// Base64 without line structure: four characters per three bytes, a last
// group of one or two bytes as two or three characters. With pad, "=" is
// appended until the whole output string, including what it held before
// the call, has a length that is a multiple of 4.
//
// Decoding skips "=" and drops bits left over at the end, so text with and
// without padding decodes alike. In strict mode "=" may only end the text (a
// symbol after it throws translate::invalid_codeword naming "=") and any
// other byte outside the alphabet (CR and LF included) throws naming it;
// otherwise both are skipped wherever they stand. An
// appending form that throws keeps what it had appended; a whole-string
// form returns nothing.
namespace corvid::coding {

std::string base64_encode(std::string_view bytes, bool pad);
void base64_encode(std::string_view bytes, std::string& out, bool pad);
// The symbols of value without leading zero symbols ("A" for 0).
std::string base64_encode(std::uint64_t value, bool pad);
// Inserts the symbols of value in front of what out holds, then pads.
void base64_encode(std::uint64_t value, std::string& out, bool pad);

std::string base64_decode(std::string_view text, bool strict);
void base64_decode(std::string_view text, std::string& out, bool strict);
// Shifts each symbol into value, which keeps what it held; bits beyond 64 are lost.
void base64_decode(std::string_view text, std::uint64_t& value, bool strict);

}  // namespace corvid::coding

#endif
