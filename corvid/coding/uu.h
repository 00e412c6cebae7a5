// SPDX-License-Identifier: MIT
#ifndef CORVID_CODING_UU_H
#define CORVID_CODING_UU_H

#include <cstdint>
#include <string>
#include <string_view>

// Six-bit symbols over the uuencode alphabet (space to underscore), without
// the length character or any line framing: four characters per three
// bytes, a last group of one or two bytes as two or three characters.
// Decoding takes the back-quote as 0 like the space and drops bits left over
// at the end. In strict mode a byte outside the alphabet throws
// translate::invalid_codeword naming it; otherwise it is skipped. An
// appending form that throws keeps what it had appended; a whole-string
// form returns nothing.
namespace corvid::coding {

std::string uu_encode(std::string_view bytes);
void uu_encode(std::string_view bytes, std::string& out);
std::string uu_encode(std::uint64_t value);
// Inserts the symbols of value in front of what out holds.
void uu_encode(std::uint64_t value, std::string& out);

std::string uu_decode(std::string_view text, bool strict);
void uu_decode(std::string_view text, std::string& out, bool strict);
void uu_decode(std::string_view text, std::uint64_t& value, bool strict);

}  // namespace corvid::coding

#endif
