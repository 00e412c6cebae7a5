// SPDX-License-Identifier: MIT
#include <corvid/unicode/convert.h>

#include <corvid/unicode/converter_cache.h>
#include <corvid/unicode/errors.h>
#include <corvid/unicode/icu_steps.h>
#include <corvid/unicode/transcoder.h>

#include <algorithm>
#include <optional>

namespace corvid::unicode {

namespace {

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

}  // namespace

namespace detail {

std::u16string wide_of(const std::string& text, int codepage, bool strict, std::size_t piece) {
    if (text.empty()) return {};
    const int page = resolve(codepage);
    std::u16string wide;
    if (page == no_codepage) {
        map_bytes(text, wide);
    } else if (page == utf8_codepage) {
        utf8_to_wide(text, wide, strict, piece);
    } else {
        UConverter& converter = converter_for(page);
        ucnv_resetToUnicode(&converter);
        set_callbacks(converter, strict);
        hz_walker hz;
        to_unicode(converter, text, wide, strict, true, page == hz_codepage ? &hz : nullptr, piece);
    }
    return wide;
}

std::string narrow_of(const std::u16string& text, int codepage, bool strict, const char* replacement,
                      std::size_t piece) {
    if (text.empty()) return {};
    const int page = resolve(codepage);
    std::string narrow;
    if (page == no_codepage) {
        map_units(text, narrow, replacement);
        return narrow;
    }
    // The fast route substitutes U+FFFD only; a replacement of the caller's
    // goes through the converter.
    if (page == utf8_codepage && !replacement) {
        wide_to_utf8(text, narrow, strict, piece);
        return narrow;
    }
    UConverter& converter = converter_for(page);
    ucnv_resetFromUnicode(&converter);
    set_callbacks(converter, strict);
    std::optional<substitution_guard> substituting;
    if (replacement) substituting.emplace(converter, *replacement);
    from_unicode(converter, text, narrow, true, piece);
    if (page == hz_codepage) {
        hz_walker hz;
        hz.see(narrow);
        hz.close(narrow);
    }
    return narrow;
}

// A piece at a time through the wide text, so that the whole text never
// stands in UTF-16 beside its two narrow forms.
std::string transcode(const std::string& text, int from, int to, std::size_t piece) {
    std::string narrow;
    transcoder converter(from, to);
    piece = std::max<std::size_t>(piece, 1);
    for (std::size_t at = 0; at < text.size(); at += piece) {
        const std::string_view part = std::string_view(text).substr(at, piece);
        converter.step(part, narrow);
        // The first piece shows how the size changes; the output takes room
        // for all the text at that rate, and a little more, once.
        if (at == 0 && part.size() < text.size()) {
            const double rate = static_cast<double>(narrow.size()) / static_cast<double>(part.size());
            reserve(narrow, static_cast<std::size_t>(rate * static_cast<double>(text.size())) + text.size() / 64 + 64);
        }
    }
    converter.finish(narrow);
    return narrow;
}

}  // namespace detail

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
    return detail::wide_of(text, codepage, allows_strict_flags(codepage));
}

std::string to_narrow(const std::u16string& text, int codepage) {
    return detail::narrow_of(text, codepage, allows_strict_flags(codepage), nullptr);
}

std::u16string to_wide_substituting(const std::string& text, int codepage) {
    return detail::wide_of(text, codepage, false);
}

std::string to_narrow_substituting(const std::u16string& text, int codepage, char replacement) {
    return detail::narrow_of(text, codepage, false, &replacement);
}

std::string transcode(const std::string& text, int from, int to) { return detail::transcode(text, from, to); }

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
