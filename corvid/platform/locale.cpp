// SPDX-License-Identifier: MIT
#include <corvid/platform/locale.h>

#include <cstdlib>
#include <langinfo.h>
#include <locale.h>

namespace corvid::platform {

std::string locale_codeset(const std::string& name) {
    // newlocale() builds a separate locale object, so the process's own
    // locale is left alone.
    locale_t locale = newlocale(LC_CTYPE_MASK, name.c_str(), static_cast<locale_t>(nullptr));
    if (locale == static_cast<locale_t>(nullptr)) return {};
    std::string codeset = nl_langinfo_l(CODESET, locale);
    freelocale(locale);
    return codeset;
}

float classic_strtof(const char* text) noexcept {
    static const locale_t classic = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    if (classic == static_cast<locale_t>(nullptr)) return std::strtof(text, nullptr);
    return strtof_l(text, nullptr, classic);
}

}  // namespace corvid::platform
