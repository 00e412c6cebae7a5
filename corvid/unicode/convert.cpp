#include <corvid/unicode/convert.h>

#include <algorithm>
#include <climits>
#include <new>
#include <stdexcept>

#include <unicode/ustring.h>

#include <corvid/unicode/ansi_codepage.h>
#include <corvid/unicode/converter_cache.h>
#include <corvid/unicode/errors.h>

namespace corvid::unicode {

namespace {


[[noreturn]] void throw_for(UErrorCode status) {
    switch (status) {
    case U_INVALID_CHAR_FOUND:
    case U_ILLEGAL_CHAR_FOUND:
    case U_TRUNCATED_CHAR_FOUND:
    case U_ILLEGAL_ESCAPE_SEQUENCE:
    case U_UNSUPPORTED_ESCAPE_SEQUENCE:
        throw unmappable_character("");
    case U_MEMORY_ALLOCATION_ERROR:
        throw out_of_memory("");
    default:
        throw generic("");
    }
}

// Sizes a result buffer; running out of memory is a conversion failure of
// its own kind rather than a bare std::bad_alloc.
template <typename String>
void resize(String& text, std::size_t size) {
    try {
        text.resize(size);
    } catch (const std::bad_alloc&) {
        throw out_of_memory("");
    } catch (const std::length_error&) {
        throw out_of_memory("");
    }
}

// Converts the whole of [source, source_end) with the streaming interface,
// which takes pointers rather than 32-bit lengths and so has no size limit.
// The output grows when the first estimate is short (ISCII and UTF-7 can
// give more code units than bytes, stateful pages need room for a closing
// escape).
template <typename Output, typename Input, typename Step>
Output stream(const Input* source, const Input* source_end, std::size_t estimate, Step step) {
    Output output;
    resize(output, std::max<std::size_t>(estimate, 16));
    auto* target = output.data();
    for (;;) {
        UErrorCode status = U_ZERO_ERROR;
        step(&target, output.data() + output.size(), &source, source_end, &status);
        const std::size_t used = static_cast<std::size_t>(target - output.data());
        if (status == U_BUFFER_OVERFLOW_ERROR) {
            resize(output, output.size() * 2);
            target = output.data() + used;
            continue;
        }
        if (U_FAILURE(status)) throw_for(status);
        output.resize(used);
        return output;
    }
}

std::u16string bytes_to_wide(const std::string& text) {
    std::u16string wide;
    resize(wide, text.size());
    std::transform(text.begin(), text.end(), wide.begin(),
                   [](char c) { return static_cast<char16_t>(static_cast<unsigned char>(c)); });
    return wide;
}

std::string wide_to_bytes(const std::u16string& text) {
    std::string bytes;
    resize(bytes, text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] > 0xFF) throw unmappable_character("");
        bytes[i] = static_cast<char>(text[i]);
    }
    return bytes;
}

// ICU's UTF-8 string functions beat its UTF-8 converter clearly; they take
// 32-bit lengths, so longer texts go through the converter instead.
// substitute is U+FFFD, or U_SENTINEL to fail on the first invalid sequence.
// per_unit bounds the output per input unit: a UTF-8 byte gives at most one
// UTF-16 unit, a UTF-16 unit at most three bytes (a pair gives four).
template <typename Output, typename Input, typename Function>
Output utf8_call(const Input& text, std::size_t per_unit, Function function, UChar32 substitute) {
    Output output;
    resize(output, text.size() * per_unit);
    int32_t length = 0;
    UErrorCode status = U_ZERO_ERROR;
    function(output.data(), static_cast<int32_t>(output.size()), &length, text.data(),
             static_cast<int32_t>(text.size()), substitute, nullptr, &status);
    if (U_FAILURE(status)) throw_for(status);
    output.resize(static_cast<std::size_t>(length));
    return output;
}

std::u16string converter_to_wide(const std::string& text, int codepage, bool strict) {
    UConverter& converter = detail::converter_for(codepage);
    ucnv_resetToUnicode(&converter);
    UErrorCode status = U_ZERO_ERROR;
    ucnv_setToUCallBack(&converter, strict ? UCNV_TO_U_CALLBACK_STOP : UCNV_TO_U_CALLBACK_SUBSTITUTE,
                        nullptr, nullptr, nullptr, &status);
    if (U_FAILURE(status)) throw_for(status);
    return stream<std::u16string>(
        text.data(), text.data() + text.size(), text.size(),
        [&](UChar** target, const UChar* limit, const char** source, const char* source_end, UErrorCode* error) {
            ucnv_toUnicode(&converter, target, limit, source, source_end, nullptr, true, error);
        });
}

std::string converter_to_narrow(const std::u16string& text, int codepage, bool strict) {
    UConverter& converter = detail::converter_for(codepage);
    ucnv_resetFromUnicode(&converter);
    UErrorCode status = U_ZERO_ERROR;
    ucnv_setFromUCallBack(&converter, strict ? UCNV_FROM_U_CALLBACK_STOP : UCNV_FROM_U_CALLBACK_SUBSTITUTE,
                          nullptr, nullptr, nullptr, &status);
    if (U_FAILURE(status)) throw_for(status);
    // Stateful pages report a large maximum that ordinary text never needs;
    // the buffer grows if it must.
    const std::size_t per_unit = std::min<std::size_t>(ucnv_getMaxCharSize(&converter), 4);
    return stream<std::string>(
        text.data(), text.data() + text.size(), text.size() * per_unit + 8,
        [&](char** target, const char* limit, const UChar** source, const UChar* source_end, UErrorCode* error) {
            ucnv_fromUnicode(&converter, target, limit, source, source_end, nullptr, true, error);
        });
}

// ICU's HZ encoder leaves text that ends in a GB run without the closing
// "~}", so whatever is appended later would be read as GB bytes. Walk the
// output and close the run ourselves.
void close_hz_run(std::string& hz) {
    bool gb = false;
    for (std::size_t i = 0; i < hz.size();) {
        if (hz[i] == '~' && i + 1 < hz.size()) {
            if (hz[i + 1] == '{') gb = true;
            else if (hz[i + 1] == '}') gb = false;
            i += 2;
        } else {
            i += gb ? 2 : 1;
        }
    }
    if (gb) hz += "~}";
}

constexpr int hz = 52936;

// Code page 0 names whichever page the system uses, but keeps its own
// strictness: invalid text in the ANSI page is an error even when that page
// is UTF-8.
int resolve(int codepage) { return codepage == 0 ? ansi_codepage() : codepage; }

constexpr std::size_t fast_limit = INT32_MAX / 3;

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
    const int page = resolve(codepage);
    if (page == no_codepage) return bytes_to_wide(text);
    if (page == utf8_codepage && text.size() <= fast_limit)
        return utf8_call<std::u16string>(text, 1, u_strFromUTF8WithSub, strict ? U_SENTINEL : 0xFFFD);
    return converter_to_wide(text, page, strict);
}

std::string to_narrow(const std::u16string& text, int codepage) {
    if (text.empty()) return {};
    const bool strict = allows_strict_flags(codepage);
    const int page = resolve(codepage);
    if (page == no_codepage) return wide_to_bytes(text);
    if (page == utf8_codepage && text.size() <= fast_limit)
        return utf8_call<std::string>(text, 3, u_strToUTF8WithSub, strict ? U_SENTINEL : 0xFFFD);
    std::string narrow = converter_to_narrow(text, page, strict);
    if (page == hz) close_hz_run(narrow);
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
