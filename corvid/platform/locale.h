// SPDX-License-Identifier: MIT
#ifndef CORVID_PLATFORM_LOCALE_H
#define CORVID_PLATFORM_LOCALE_H

// What the system's locales say, asked without touching the process's own
// locale.

#include <string>

namespace corvid::platform {

// The codeset that the installed locale NAME reports ("UTF-8",
// "ISO-8859-1"), or empty when the system does not know the locale.
std::string locale_codeset(const std::string& name);

// A decimal number read as strtof reads it in the classic "C" locale,
// whatever the process's locale says about the decimal point; text that is
// no number reads as 0.
float classic_strtof(const char* text) noexcept;

}  // namespace corvid::platform

#endif
