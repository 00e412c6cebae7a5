#include <corvid/rfc822_date.h>

#include <cstdio>
#include <ctime>
#include <corvid/exception.h>

namespace corvid {

std::string rfc822_date(std::int64_t seconds) {
    // Day and month names are fixed English abbreviations: the header format
    // must not follow the process locale.
    static const char* const days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    // 1000-01-01 00:00:00 to 9999-12-31 23:59:59. Tested on the seconds
    // rather than the broken-down year, whose tm_year + 1900 can overflow.
    constexpr std::int64_t first = -30610224000, last = 253402300799;
    std::time_t t = static_cast<std::time_t>(seconds);
    std::tm fields{};
    if (seconds < first || seconds > last || gmtime_r(&t, &fields) == nullptr)
        throw exception("rfc822_date() time outside the years 1000 to 9999");
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%s, %02d %s %04d %02d:%02d:%02d -0000", days[fields.tm_wday],
                  fields.tm_mday, months[fields.tm_mon], fields.tm_year + 1900, fields.tm_hour, fields.tm_min,
                  fields.tm_sec);
    return buffer;
}

}  // namespace corvid
