#include <corvid/unicode/convert.h>

#include <corvid/unicode/converter_cache.h>
#include <corvid/unicode/errors.h>
#include <corvid/unicode/icu_steps.h>

namespace corvid::unicode {

namespace {

std::u16string bytes_to_wide(const std::string& text) {
    std::u16string wide;
    detail::map_bytes(text, wide);
    return wide;
}

std::string wide_to_bytes(const std::u16string& text) {
    std::string bytes;
    detail::map_units(text, bytes);
    return bytes;
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
    if (text.empty()) return {};
    const bool strict = allows_strict_flags(codepage);
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

std::string to_narrow(const std::u16string& text, int codepage) {
    if (text.empty()) return {};
    const bool strict = allows_strict_flags(codepage);
    const int page = detail::resolve(codepage);
    if (page == no_codepage) return wide_to_bytes(text);
    std::string narrow;
    if (page == utf8_codepage && text.size() <= detail::utf8_fast_limit) {
        detail::wide_to_utf8(text, narrow, strict);
        return narrow;
    }
    UConverter& converter = detail::converter_for(page);
    ucnv_resetFromUnicode(&converter);
    detail::set_callbacks(converter, strict);
    detail::from_unicode(converter, text, narrow, true);
    if (page == detail::hz_codepage) {
        detail::hz_walker hz;
        hz.see(narrow);
        hz.close(narrow);
    }
    return narrow;
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
