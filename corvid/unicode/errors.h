// SPDX-License-Identifier: MIT
#ifndef CORVID_UNICODE_ERRORS_H
#define CORVID_UNICODE_ERRORS_H

#include <corvid/exception.h>

namespace corvid::unicode {

// Conversion failures between code pages and wide text.
CORVID_EXCEPTION(generic, corvid::exception, "unicode");
CORVID_EXCEPTION(out_of_memory, generic, "out_of_memory");
CORVID_EXCEPTION(invalid_codepage, generic, "invalid_codepage");
CORVID_EXCEPTION(unmappable_character, generic, "unmappable_character");

}  // namespace corvid::unicode

#endif
