#include <corvid/unicode/convert.h>

#include <corvid/unicode/converter_cache.h>
#include <corvid/unicode/errors.h>
#include <corvid/unicode/icu_steps.h>

#include <optional>

namespace corvid::unicode {

namespace {

std::u16string bytes_to_wide(const std::string& text) {
    std::u16string wide;
    detail::map_bytes(text, wide);
    return wide;
}

// The byte mapping; with a replacement, a unit above 0xFF becomes it
// instead of failing.
std::string wide_to_bytes(const std::u16string& text, const char* replacement) {
    std::string bytes;
    if (!replacement) {
        detail::map_units(text, bytes);
        return bytes;
    }
    bytes.reserve(text.size());
    for (const char16_t unit : text) bytes += unit > 0xFF ? *replacement : static_cast<char>(unit);
    return bytes;
}

std::u16string wide_of(const std::string& text, int codepage, bool strict) {
    if (text.empty()) return {};
    const int page = detail::resolve(codepage);
    if (page == no_codepage) return bytes_to_wide(text);
    std::u16string wide;
    if (page == utf8_codepage && text.size() <= detail::utf8_fast_limit) {
        detail::utf8_to_wide(text, wide, strict);
        return wide;
    }
    UConverter& converter = detail::converter_for(page);
    ucnv_resetToUnicode(&converter);
    detail::set_callbacks(converter, strict);
    detail::hz_walker hz;
    detail::to_unicode(converter, text, wide, strict, true, page == detail::hz_codepage ? &hz : nullptr);
    return wide;
}

// Puts a converter's own substitution bytes back when the conversion that
// replaced them ends, however it ends: the converter is shared.
class substitution_guard {
public:
    substitution_guard(UConverter& converter, char replacement) : converter(converter) {
        UErrorCode status = U_ZERO_ERROR;
        ucnv_getSubstChars(&converter, saved, &length, &status);
        if (U_FAILURE(status)) length = 0;
        status = U_ZERO_ERROR;
        ucnv_setSubstChars(&converter, &replacement, 1, &status);
    }
    ~substitution_guard() {
        UErrorCode status = U_ZERO_ERROR;
        if (length > 0) ucnv_setSubstChars(&converter, saved, length, &status);
    }
    substitution_guard(const substitution_guard&) = delete;
    substitution_guard& operator=(const substitution_guard&) = delete;

private:
    UConverter& converter;
    char saved[32];
    int8_t length = sizeof saved;
};

std::string narrow_of(const std::u16string& text, int codepage, bool strict, const char* replacement) {
    if (text.empty()) return {};
    const int page = detail::resolve(codepage);
    if (page == no_codepage) return wide_to_bytes(text, replacement);
    std::string narrow;
    // The fast route substitutes U+FFFD only; a replacement of the caller's
    // goes through the converter.
    if (page == utf8_codepage && !replacement && text.size() <= detail::utf8_fast_limit) {
        detail::wide_to_utf8(text, narrow, strict);
        return narrow;
    }
    UConverter& converter = detail::converter_for(page);
    ucnv_resetFromUnicode(&converter);
    detail::set_callbacks(converter, strict);
    std::optional<substitution_guard> substituting;
    if (replacement) substituting.emplace(converter, *replacement);
    detail::from_unicode(converter, text, narrow, true);
    if (page == detail::hz_codepage) {
        detail::hz_walker hz;
        hz.see(narrow);
        hz.close(narrow);
    }
    return narrow;
}

}  // namespace

bool allows_strict_flags(int codepage) noexcept {
    switch (codepage) {
    case 42:
    case 50221:
    case 50222:
    case 50225:
    case 50227:
    case 50229:
    case 52936:
    case 54936:
    case 65000:
    case 65001:
        return false;
    default:
        return codepage < 57002 || codepage > 57011;
    }
}

std::u16string to_wide(const std::string& text, int codepage) {
    return wide_of(text, codepage, allows_strict_flags(codepage));
}

std::string to_narrow(const std::u16string& text, int codepage) {
    return narrow_of(text, codepage, allows_strict_flags(codepage), nullptr);
}

std::u16string to_wide_substituting(const std::string& text, int codepage) { return wide_of(text, codepage, false); }

std::string to_narrow_substituting(const std::u16string& text, int codepage, char replacement) {
    return narrow_of(text, codepage, false, &replacement);
}

std::string transcode(const std::string& text, int from, int to) { return to_narrow(to_wide(text, from), to); }

bool is_representable(const std::u16string& text, int codepage) {
    try {
        return to_wide(to_narrow(text, codepage), codepage) == text;
    } catch (const invalid_codepage&) {
        return false;
    } catch (const unmappable_character&) {
        return false;
    }
}

}  // namespace corvid::unicode
