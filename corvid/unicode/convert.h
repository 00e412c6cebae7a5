// SPDX-License-Identifier: MIT
#ifndef CORVID_UNICODE_CONVERT_H
#define CORVID_UNICODE_CONVERT_H

#include <string>

namespace corvid::unicode {

// The pseudo code page in which every byte is the character of the same
// value (U+0000 to U+00FF), both ways. Unknown charset names resolve to it.
constexpr int no_codepage = -1;

// UTF-8, the code page in which the library reads and writes protocol text.
constexpr int utf8_codepage = 65001;

// Conversion between narrow text (bytes in a code page) and wide text
// (UTF-16 code units). A code page is a Windows code page number; 0 is the
// ANSI code page (see ansi_codepage.h) and no_codepage the byte mapping.
//
// Code pages for which allows_strict_flags() is true are strict: bytes that
// are invalid in the page, and characters that the page cannot represent,
// throw unmappable_character. For the others the conversion substitutes
// silently (U+FFFD towards wide text, the page's substitution character
// towards bytes). Characters are never replaced by look-alikes.
//
// Text of any size converts. Throws invalid_codepage for a number that no
// converter serves, unmappable_character as above (both with an empty
// message), out_of_memory when the result cannot be allocated, and generic
// for anything else the converter reports; the last two say in their
// message what failed. Empty input always gives empty output, whatever the
// code page. All functions may run on any thread.

std::u16string to_wide(const std::string& text, int codepage);
std::string to_narrow(const std::u16string& text, int codepage);

// The same conversions for text that must be read whatever it holds, even in
// a strict page: each invalid byte sequence becomes U+FFFD, and each
// character the page cannot hold becomes replacement (as a page's default
// character would). Throw only for an invalid code page or allocation.
std::u16string to_wide_substituting(const std::string& text, int codepage);
std::string to_narrow_substituting(const std::u16string& text, int codepage, char replacement);

// to_narrow(to_wide(text, from), to).
std::string transcode(const std::string& text, int from, int to);

// Whether text survives to_narrow() and back to_wide() in codepage unchanged.
// False as well when codepage is invalid or a character is unmappable; other
// failures propagate.
bool is_representable(const std::u16string& text, int codepage);

// False for exactly the code pages that convert without error checks: 42,
// 50221, 50222, 50225, 50227, 50229, 52936, 54936, 57002 to 57011, 65000 and
// 65001. Code page 0 is strict whatever page it stands for.
bool allows_strict_flags(int codepage) noexcept;

}  // namespace corvid::unicode

#endif
