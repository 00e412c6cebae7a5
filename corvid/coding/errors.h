// SPDX-License-Identifier: MIT
#ifndef CORVID_CODING_ERRORS_H
#define CORVID_CODING_ERRORS_H

#include <corvid/exception.h>

namespace corvid::coding::translate {

// Codec failures. Callers catch generic to mean any codec failure; only
// invalid_codeword is ever thrown.
CORVID_EXCEPTION(generic, corvid::exception, "translate");
CORVID_EXCEPTION(invalid_codeword, generic, "invalid_codeword");

}  // namespace corvid::coding::translate

#endif
