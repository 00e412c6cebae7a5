// SPDX-License-Identifier: MIT
#ifndef CORVID_INTERNET_MESSAGE2_ERRORS_H
#define CORVID_INTERNET_MESSAGE2_ERRORS_H

#include <corvid/exception.h>

namespace corvid::internet::message2 {

// Message model failures. depth_limit is deliberately not a generic: a
// caller that handles malformed input may still let a depth overrun through.
CORVID_EXCEPTION(generic, corvid::exception, "message2");
CORVID_EXCEPTION(depth_limit, corvid::exception, "message2");

}  // namespace corvid::internet::message2

#endif
