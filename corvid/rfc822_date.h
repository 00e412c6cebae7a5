#ifndef CORVID_RFC822_DATE_H
#define CORVID_RFC822_DATE_H

#include <cstdint>
#include <string>

namespace corvid {

// Renders seconds since 1970-01-01 00:00:00 UTC as an RFC 822 date-time in
// UTC, e.g. "Thu, 01 Jan 1970 00:00:00 -0000". The zone is always "-0000":
// the time is UTC and says nothing about the sender's local zone.
// Throws corvid::exception for a time whose year has no four-digit form
// (before 1000 or after 9999), which the fixed layout cannot hold.
std::string rfc822_date(std::int64_t seconds);

}  // namespace corvid

#endif
