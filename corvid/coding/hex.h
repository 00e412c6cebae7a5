// SPDX-License-Identifier: MIT
#ifndef CORVID_CODING_HEX_H
#define CORVID_CODING_HEX_H

#include <cstdint>
#include <string>
#include <string_view>

// Hexadecimal: two lower-case digits per byte, high nibble first. Decoding
// accepts both cases; an odd last digit is dropped. In strict mode a byte
// that is not a digit throws translate::invalid_codeword naming it, and
// otherwise is skipped. An appending form that throws keeps what it had
// appended; a whole-string form returns nothing.
namespace corvid::coding {

std::string hex_encode(std::string_view bytes);
void hex_encode(std::string_view bytes, std::string& out);
// The digits of value without leading zeros ("0" for 0, "100" for 256).
std::string hex_encode(std::uint64_t value);
// Inserts the digits of value in front of what out holds.
void hex_encode(std::uint64_t value, std::string& out);

std::string hex_decode(std::string_view text, bool strict);
void hex_decode(std::string_view text, std::string& out, bool strict);
// Shifts each digit into value, which keeps what it held; bits beyond 64 are lost.
void hex_decode(std::string_view text, std::uint64_t& value, bool strict);

}  // namespace corvid::coding

#endif
