// SPDX-License-Identifier: MIT
#include <corvid/rfc822_date.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <corvid/exception.h>

namespace corvid {

namespace {

// 1000-01-01 00:00:00 to 9999-12-31 23:59:59 UTC. Tested on the seconds
// rather than the broken-down year, whose tm_year + 1900 can overflow.
void check_range(std::int64_t seconds, const char* function) {
    constexpr std::int64_t first = -30610224000, last = 253402300799;
    if (seconds < first || seconds > last)
        throw exception(std::string(function) + " time outside the years 1000 to 9999");
}

// zone is "-0000" or a numeric offset. Day and month names are fixed
// English abbreviations: the header format must not follow the process
// locale.
std::string render(const std::tm& fields, const char* zone) {
    static const char* const days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%s, %02d %s %04d %02d:%02d:%02d %s", days[fields.tm_wday],
                  fields.tm_mday, months[fields.tm_mon], fields.tm_year + 1900, fields.tm_hour, fields.tm_min,
                  fields.tm_sec, zone);
    return buffer;
}

}  // namespace

std::string rfc822_date(std::int64_t seconds) {
    check_range(seconds, "rfc822_date()");
    std::time_t t = static_cast<std::time_t>(seconds);
    std::tm fields{};
    if (gmtime_r(&t, &fields) == nullptr) throw exception("rfc822_date() time outside the years 1000 to 9999");
    return render(fields, "-0000");
}

std::string rfc822_local_date(std::int64_t seconds) {
    check_range(seconds, "rfc822_local_date()");
    std::time_t t = static_cast<std::time_t>(seconds);
    std::tm fields{};
    // Offsets beyond a day are no zone a reader accepts; say UTC instead.
    if (localtime_r(&t, &fields) == nullptr || std::labs(fields.tm_gmtoff) >= 24 * 3600 ||
        fields.tm_year + 1900 < 1000 || fields.tm_year + 1900 > 9999)
        return rfc822_date(seconds);
    const int minutes = static_cast<int>(std::labs(fields.tm_gmtoff) / 60);  // below 24 hours
    char zone[16];
    std::snprintf(zone, sizeof zone, "%c%02d%02d", fields.tm_gmtoff < 0 ? '-' : '+', minutes / 60, minutes % 60);
    return render(fields, zone);
}

}  // namespace corvid
