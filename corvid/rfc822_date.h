// SPDX-License-Identifier: MIT
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

// The same instant in the local time zone with its numeric offset, e.g.
// "Thu, 10 Dec 2026 06:14:44 +0100", as a message's Date header should
// carry it. Where the system gives no local time (or an offset of a day or
// more), the UTC form above. Throws as rfc822_date does.
std::string rfc822_local_date(std::int64_t seconds);

}  // namespace corvid

#endif
