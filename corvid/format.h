// SPDX-License-Identifier: MIT
#ifndef CORVID_FORMAT_H
#define CORVID_FORMAT_H

#include <cstdarg>
#include <string>

namespace corvid {

// printf-style formatting into a new narrow string of any length. Bytes of
// value 0 written by "%c" stay in the result. The format must be a literal of
// the program, never text from outside: the compiler checks every call.
// Throws corvid::exception when the C library cannot render the text (more
// than INT_MAX bytes, or a wide character that the locale cannot encode).
std::string format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string vformat(const char* format, std::va_list args) __attribute__((format(printf, 1, 0)));

// The wide twin of format, over UTF-16 code units. The compiler cannot check
// a char16_t format, so the formatter reads each argument by the type its
// conversion names and refuses what it does not know rather than guess:
//   %s, %ls, %S   const char16_t* (a null pointer prints "(null)")
//   %hs           const char*, each byte widened to one code unit
//   %c, %lc, %C   one code unit (passed as int); %hc one byte
//   d i o u x X e E f F g G a A p %   as in printf, with every length modifier
// Flags, width and precision (also as "*") apply as in printf; a width or
// precision of %s counts code units. Throws corvid::exception for "%n", an
// unknown conversion, a format that ends inside a conversion, or a number the
// C library cannot render.
std::u16string wformat(const char16_t* format, ...);
std::u16string vwformat(const char16_t* format, std::va_list args);

}  // namespace corvid

#endif
