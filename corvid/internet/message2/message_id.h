// SPDX-License-Identifier: MIT
#ifndef CORVID_INTERNET_MESSAGE2_MESSAGE_ID_H
#define CORVID_INTERNET_MESSAGE2_MESSAGE_ID_H

#include <string>
#include <string_view>

namespace corvid::internet::message2 {

// A new Message-ID for a message sent from domain, angle brackets included:
// "<" the microseconds since 1970 in hexadecimal "." 64 random bits in
// hexadecimal "@" domain ">". Time and chance make it unique without any
// state kept between calls or processes.
// Throws message2::generic when domain is empty or holds a control
// character, which would break the header line.
std::string make_message_id(std::string_view domain);

}  // namespace corvid::internet::message2

#endif
