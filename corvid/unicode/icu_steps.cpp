#include <corvid/unicode/icu_steps.h>

#include <algorithm>
#include <new>
#include <stdexcept>

#include <unicode/ustring.h>

#include <corvid/unicode/ansi_codepage.h>
#include <corvid/unicode/errors.h>

namespace corvid::unicode::detail {

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

// Appends the conversion of [source, source_end) with the streaming
// interface, which takes pointers rather than 32-bit lengths and so has no
// size limit. The output grows when the first estimate is short (ISCII and
// UTF-7 can give more code units than bytes, stateful pages need room for a
// closing escape).
template <typename Output, typename Input, typename Step>
void append(Output& output, const Input* source, const Input* source_end, std::size_t estimate, Step step) {
    std::size_t used = output.size();
    resize(output, used + std::max<std::size_t>(estimate, 16));
    for (;;) {
        auto* target = output.data() + used;
        UErrorCode status = U_ZERO_ERROR;
        step(&target, output.data() + output.size(), &source, source_end, &status);
        used = static_cast<std::size_t>(target - output.data());
        if (status == U_BUFFER_OVERFLOW_ERROR) {
            resize(output, output.size() * 2);
            continue;
        }
        output.resize(used);
        if (U_FAILURE(status)) throw_for(status);
        return;
    }
}

// substitute is U+FFFD, or U_SENTINEL to fail on the first invalid sequence.
// per_unit bounds the output per input unit: a UTF-8 byte gives at most one
// UTF-16 unit, a UTF-16 unit at most three bytes (a pair gives four).
template <typename Output, typename Input, typename Function>
void utf8_call(Input text, Output& output, std::size_t per_unit, Function function, bool strict) {
    if (text.empty()) return;
    const std::size_t start = output.size();
    resize(output, start + text.size() * per_unit);
    int32_t length = 0;
    UErrorCode status = U_ZERO_ERROR;
    function(output.data() + start, static_cast<int32_t>(output.size() - start), &length, text.data(),
             static_cast<int32_t>(text.size()), strict ? U_SENTINEL : 0xFFFD, nullptr, &status);
    if (U_FAILURE(status)) {
        output.resize(start);
        throw_for(status);
    }
    output.resize(start + static_cast<std::size_t>(length));
}

}  // namespace

// Code page 0 names whichever page the system uses, but keeps its own
// strictness: invalid text in the ANSI page is an error even when that page
// is UTF-8.
int resolve(int codepage) { return codepage == 0 ? ansi_codepage() : codepage; }

void set_callbacks(UConverter& converter, bool strict) {
    UErrorCode status = U_ZERO_ERROR;
    ucnv_setToUCallBack(&converter, strict ? UCNV_TO_U_CALLBACK_STOP : UCNV_TO_U_CALLBACK_SUBSTITUTE, nullptr,
                        nullptr, nullptr, &status);
    ucnv_setFromUCallBack(&converter, strict ? UCNV_FROM_U_CALLBACK_STOP : UCNV_FROM_U_CALLBACK_SUBSTITUTE,
                          nullptr, nullptr, nullptr, &status);
    if (U_FAILURE(status)) throw_for(status);
}

void to_unicode(UConverter& converter, std::string_view bytes, std::u16string& out, bool strict, bool last,
                hz_walker* hz) {
    if (hz) hz->see(bytes);
    append(out, bytes.data(), bytes.data() + bytes.size(), bytes.size(),
           [&](UChar** target, const UChar* limit, const char** source, const char* source_end, UErrorCode* error) {
               ucnv_toUnicode(&converter, target, limit, source, source_end, nullptr, false, error);
           });
    if (!last) return;
    // Some converters (HZ among them) drop a character cut short at the end
    // without calling back; take it up here instead.
    UErrorCode status = U_ZERO_ERROR;
    if (ucnv_toUCountPending(&converter, &status) > 0 || (hz && hz->cut())) {
        ucnv_resetToUnicode(&converter);
        if (strict) throw unmappable_character("");
        out += u'\uFFFD';
        return;
    }
    append(out, bytes.data(), bytes.data(), 0,
           [&](UChar** target, const UChar* limit, const char** source, const char* source_end, UErrorCode* error) {
               ucnv_toUnicode(&converter, target, limit, source, source_end, nullptr, true, error);
           });
}

void from_unicode(UConverter& converter, std::u16string_view text, std::string& out, bool last) {
    // Stateful pages report a large maximum that ordinary text never needs;
    // the buffer grows if it must.
    const std::size_t per_unit = std::min<std::size_t>(ucnv_getMaxCharSize(&converter), 4);
    append(out, text.data(), text.data() + text.size(), text.size() * per_unit + 8,
           [&](char** target, const char* limit, const UChar** source, const UChar* source_end, UErrorCode* error) {
               ucnv_fromUnicode(&converter, target, limit, source, source_end, nullptr, last, error);
           });
}

void hz_walker::see(std::string_view hz) {
    for (char c : hz) {
        if (tilde_) {
            if (c == '{') gb_ = true;
            else if (c == '}') gb_ = false;
            tilde_ = false;
        } else if (half_) {
            half_ = false;
        } else if (c == '~') {
            tilde_ = true;
        } else if (gb_ && c > 0x20 && c < 0x7F) {
            half_ = true;
        }
    }
}

void hz_walker::close(std::string& out) {
    if (gb_) out += "~}";
    gb_ = tilde_ = half_ = false;
}

void map_bytes(std::string_view bytes, std::u16string& out) {
    const std::size_t start = out.size();
    resize(out, start + bytes.size());
    std::transform(bytes.begin(), bytes.end(), out.begin() + static_cast<std::ptrdiff_t>(start),
                   [](char c) { return static_cast<char16_t>(static_cast<unsigned char>(c)); });
}

void map_units(std::u16string_view text, std::string& out) {
    const std::size_t start = out.size();
    resize(out, start + text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] > 0xFF) {
            out.resize(start);
            throw unmappable_character("");
        }
        out[start + i] = static_cast<char>(text[i]);
    }
}

void utf8_to_wide(std::string_view bytes, std::u16string& out, bool strict) {
    utf8_call(bytes, out, 1, u_strFromUTF8WithSub, strict);
}

void wide_to_utf8(std::u16string_view text, std::string& out, bool strict) {
    utf8_call(text, out, 3, u_strToUTF8WithSub, strict);
}

}  // namespace corvid::unicode::detail
