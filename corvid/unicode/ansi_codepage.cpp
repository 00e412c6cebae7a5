// SPDX-License-Identifier: MIT
#include <corvid/unicode/ansi_codepage.h>

#include <atomic>
#include <cstdlib>
#include <string_view>

#include <corvid/platform/locale.h>
#include <corvid/unicode/charset.h>
#include <corvid/unicode/convert.h>
#include <corvid/unicode/errors.h>

namespace corvid::unicode {

namespace {

// 0 is never a valid answer, so it marks "not known yet".
std::atomic<int> current{0};

bool is_c_locale(std::string_view name) {
    return name.empty() || name == "C" || name == "POSIX" || name.starts_with("C.") ||
           name.starts_with("POSIX.");
}

int codepage_from_codeset(const std::string& codeset) {
    int codepage = codepage_from_charset(codeset);
    // A codeset like "windows" alone would make 0 stand for itself.
    return codepage == 0 ? utf8_codepage : codepage;
}

int read_environment() {
    for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && *value != '\0') return codepage_from_locale(value);
    }
    return utf8_codepage;
}

}  // namespace

int codepage_from_locale(const std::string& locale_name) {
    if (is_c_locale(locale_name)) return utf8_codepage;
    if (std::string codeset = platform::locale_codeset(locale_name); !codeset.empty())
        return codepage_from_codeset(codeset);
    std::string_view name = locale_name;
    name = name.substr(0, name.find('@'));
    std::size_t dot = name.find('.');
    if (dot == std::string_view::npos) return utf8_codepage;
    return codepage_from_codeset(std::string(name.substr(dot + 1)));
}

int ansi_codepage() {
    int codepage = current.load(std::memory_order_acquire);
    if (codepage != 0) return codepage;
    codepage = read_environment();
    // A pin made meanwhile by another thread wins over what we just read.
    int expected = 0;
    if (!current.compare_exchange_strong(expected, codepage, std::memory_order_acq_rel)) return expected;
    return codepage;
}

void pin_ansi_codepage(int codepage) {
    if (codepage == 0) throw invalid_codepage("");
    current.store(codepage, std::memory_order_release);
}

void unpin_ansi_codepage() noexcept { current.store(0, std::memory_order_release); }

}  // namespace corvid::unicode
