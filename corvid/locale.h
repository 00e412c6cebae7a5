// SPDX-License-Identifier: MIT
#ifndef CORVID_LOCALE_H
#define CORVID_LOCALE_H

#include <string>

namespace corvid {

// Makes the named locale the global locale of the C++ library (and, for a
// named locale, of the C library) in all categories. The case mapping and
// comparisons of corvid/text.h do not depend on it.
// Throws corvid::exception when the system knows no locale of that name; the
// global locale is then unchanged.
void set_global_locale(const std::string& name);

}  // namespace corvid

#endif
