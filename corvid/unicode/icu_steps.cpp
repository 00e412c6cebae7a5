// SPDX-License-Identifier: MIT
#include <corvid/unicode/icu_steps.h>

#include <algorithm>
#include <cstdint>
#include <new>
#include <stdexcept>

#include <unicode/ustring.h>
#include <unicode/utf16.h>

#include <corvid/unicode/ansi_codepage.h>
#include <corvid/unicode/errors.h>

namespace corvid::unicode::detail {

void throw_for(UErrorCode status, const char* call) {
    switch (status) {
    case U_INVALID_CHAR_FOUND:
    case U_ILLEGAL_CHAR_FOUND:
    case U_TRUNCATED_CHAR_FOUND:
    case U_ILLEGAL_ESCAPE_SEQUENCE:
    case U_UNSUPPORTED_ESCAPE_SEQUENCE:
        throw unmappable_character("");
    case U_MEMORY_ALLOCATION_ERROR:
        throw out_of_memory(std::string(call) + "() failed: " + u_errorName(status));
    default:
        throw generic(std::string(call) + "() failed: " + u_errorName(status));
    }
}

namespace {

// Gives text a capacity of at least capacity elements. A fresh string takes
// exactly what it is asked for, where reserve() on one that holds text
// would at least double it: a gigabyte more for a result that was a little
// short. Running out of memory is a conversion failure of its own kind
// rather than a bare std::bad_alloc.
template <typename String>
void reserve_exactly(String& text, std::size_t capacity) {
    if (capacity <= text.capacity()) return;
    try {
        String larger;
        larger.reserve(capacity);
        larger.append(text);
        text.swap(larger);
    } catch (const std::exception&) {  // std::bad_alloc, or std::length_error past max_size()
        throw out_of_memory("cannot allocate " + std::to_string(capacity * sizeof(typename String::value_type)) +
                            " bytes for the converted text");
    }
}

// Room for room more elements. When text must move it takes rest more as
// well, what the input after the current piece will likely need, and at
// least a quarter more than it holds, so that many short shortfalls still
// cost linear time in all.
template <typename String>
void make_room(String& text, std::size_t room, std::size_t rest) {
    const std::size_t need = text.size() + room;
    if (need > text.capacity()) reserve_exactly(text, std::max(need + rest, text.size() + text.size() / 4));
}

// Feeds [source, end) to route a piece at a time and appends the output.
// The output starts with the room that route.likely() expects; each call
// gets room for what its piece can give (route.most()), within what is
// there. When ICU reports the room short, the output grows by the estimate
// of the rest. Between calls out holds just the converted text, so a throw
// leaves it whole. Empty input still makes one call, which a flush needs.
template <typename Output, typename Input, typename Route>
void run(Output& out, const Input* source, const Input* const end, std::size_t piece, const Route& route) {
    // A little room beyond a piece's own lets a flush or an escape out.
    constexpr std::size_t slack = 16;
    make_room(out, route.likely(source, end), 0);
    piece = std::clamp<std::size_t>(piece, 1, piece_size);
    do {
        const Input* const piece_end = route.cut(source, end, piece);
        for (;;) {
            const std::size_t used = out.size();
            const auto left = static_cast<std::size_t>(piece_end - source);
            const std::size_t room = std::min(out.capacity() - used, route.most(left) + slack);
            out.resize(used + room);  // within the capacity: nothing moves
            auto* target = out.data() + used;
            const UErrorCode status = route.call(&target, target + room, &source, piece_end, piece_end == end);
            out.resize(static_cast<std::size_t>(target - out.data()));
            if (status != U_BUFFER_OVERFLOW_ERROR) {
                if (U_FAILURE(status)) throw_for(status, route.name);
                break;
            }
            make_room(out, route.most(static_cast<std::size_t>(piece_end - source)) + slack,
                      route.most(static_cast<std::size_t>(end - piece_end)));
        }
    } while (source != end);
}

// The sum of weight(unit) over [from, end). Sums of 32 bits over blocks
// let the compiler use twice the vector lanes that 64 bits would.
template <typename Unit, typename Weight>
std::size_t sum(const Unit* from, const Unit* const end, Weight weight) {
    std::size_t total = 0;
    while (from != end) {
        const Unit* const stop = from + std::min<std::size_t>(static_cast<std::size_t>(end - from), 1 << 16);
        std::uint32_t block = 0;
        for (; from != stop; ++from) block += weight(*from);
        total += block;
    }
    return total;
}

// A converter keeps what a piece leaves unfinished, so its pieces may end
// anywhere.
struct converter_route {
    template <typename Input>
    static const Input* cut(const Input* from, const Input* end, std::size_t piece) {
        return from + std::min(piece, static_cast<std::size_t>(end - from));
    }
};

struct decoding : converter_route {
    static constexpr const char* name = "ucnv_toUnicode";
    UConverter& converter;
    bool flush;

    // Pages give a unit per byte at most, but for ISCII and substitutions
    // of a few escapes; the output grows then.
    static std::size_t most(std::size_t bytes) { return bytes; }
    static std::size_t likely(const char* from, const char* end) { return static_cast<std::size_t>(end - from); }
    UErrorCode call(UChar** target, UChar* limit, const char** source, const char* source_end, bool final) const {
        UErrorCode status = U_ZERO_ERROR;
        ucnv_toUnicode(&converter, target, limit, source, source_end, nullptr, flush && final, &status);
        return status;
    }
};

struct encoding : converter_route {
    static constexpr const char* name = "ucnv_fromUnicode";
    UConverter& converter;
    bool flush;
    std::size_t per_unit;

    std::size_t most(std::size_t units) const { return units * per_unit; }
    std::size_t likely(const UChar* from, const UChar* end) const {
        return most(static_cast<std::size_t>(end - from));
    }
    UErrorCode call(char** target, char* limit, const UChar** source, const UChar* source_end, bool final) const {
        UErrorCode status = U_ZERO_ERROR;
        ucnv_fromUnicode(&converter, target, limit, source, source_end, nullptr, flush && final, &status);
        return status;
    }
};

// ICU's UTF-8 string functions keep no state: a piece must end on a
// character boundary, and each converts whole or reports the room short.
// substitute is U+FFFD, or U_SENTINEL to fail on the first invalid sequence.
template <typename Output, typename Input, auto function>
struct utf8_route {
    UChar32 substitute;

    UErrorCode call(Output** target, Output* limit, const Input** source, const Input* source_end, bool) const {
        int32_t length = 0;
        UErrorCode status = U_ZERO_ERROR;
        function(*target, static_cast<int32_t>(limit - *target), &length, *source,
                 static_cast<int32_t>(source_end - *source), substitute, nullptr, &status);
        if (U_SUCCESS(status)) {
            *target += length;
            *source = source_end;
        }
        return status;
    }
};

struct utf8_decoding : utf8_route<UChar, char, u_strFromUTF8WithSub> {
    static constexpr const char* name = "u_strFromUTF8WithSub";

    static std::size_t most(std::size_t bytes) { return bytes; }
    // Exact for valid text: a unit for each byte that starts a character,
    // two for a four-byte one.
    static std::size_t likely(const char* from, const char* end) {
        return sum(from, end, [](char c) {
            const auto byte = static_cast<unsigned char>(c);
            return static_cast<std::uint32_t>((byte & 0xC0) != 0x80) + (byte >= 0xF0);
        });
    }
    static const char* cut(const char* from, const char* end, std::size_t piece) {
        if (static_cast<std::size_t>(end - from) <= piece) return end;
        if (const std::size_t whole = utf8_complete({from, piece}); whole != 0) return from + whole;
        // A piece shorter than its first character grows to hold it.
        if (end - from <= 4) return end;
        return from + utf8_complete({from, 4});
    }
};

struct utf8_encoding : utf8_route<char, UChar, u_strToUTF8WithSub> {
    static constexpr const char* name = "u_strToUTF8WithSub";

    // A unit gives three bytes at most: a pair gives four, U+FFFD for a lone
    // surrogate three.
    static std::size_t most(std::size_t units) { return units * 3; }
    static std::size_t likely(const UChar* from, const UChar* end) {
        return static_cast<std::size_t>(end - from) +
               sum(from, end, [](UChar unit) { return static_cast<std::uint32_t>(unit >= 0x80) + (unit >= 0x800); });
    }
    static const UChar* cut(const UChar* from, const UChar* end, std::size_t piece) {
        if (static_cast<std::size_t>(end - from) <= piece) return end;
        const UChar* at = from + piece;
        if (U16_IS_LEAD(at[-1])) --at;  // the pair goes whole into the next piece
        // A piece shorter than its first character grows to hold it.
        if (at == from) at += U16_IS_TRAIL(from[1]) ? 2 : 1;
        return at;
    }
};

UChar32 substitute(bool strict) { return strict ? U_SENTINEL : 0xFFFD; }

}  // namespace

void reserve(std::string& text, std::size_t capacity) { reserve_exactly(text, capacity); }

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
    if (U_FAILURE(status)) throw_for(status, "ucnv_setCallBack");
}

void to_unicode(UConverter& converter, std::string_view bytes, std::u16string& out, bool strict, bool last,
                hz_walker* hz, std::size_t piece) {
    if (hz) hz->see(bytes);
    const char* const end = bytes.data() + bytes.size();
    run(out, bytes.data(), end, piece, decoding{{}, converter, false});
    if (!last) return;
    // Some converters (HZ among them) drop a character cut short at the end
    // without calling back; take it up here instead.
    UErrorCode status = U_ZERO_ERROR;
    if (ucnv_toUCountPending(&converter, &status) > 0 || (hz && hz->cut())) {
        ucnv_resetToUnicode(&converter);
        if (strict) throw unmappable_character("");
        make_room(out, 1, 0);
        out += u'\uFFFD';
        return;
    }
    run(out, end, end, piece, decoding{{}, converter, true});
}

void from_unicode(UConverter& converter, std::u16string_view text, std::string& out, bool last, std::size_t piece) {
    // Stateful pages report a large maximum that ordinary text never needs;
    // the output grows if it must.
    const std::size_t per_unit = std::min<std::size_t>(ucnv_getMaxCharSize(&converter), 4);
    run(out, text.data(), text.data() + text.size(), piece, encoding{{}, converter, last, per_unit});
}

void utf8_to_wide(std::string_view bytes, std::u16string& out, bool strict, std::size_t piece) {
    if (!bytes.empty())
        run(out, bytes.data(), bytes.data() + bytes.size(), piece, utf8_decoding{{substitute(strict)}});
}

void wide_to_utf8(std::u16string_view text, std::string& out, bool strict, std::size_t piece) {
    if (!text.empty()) run(out, text.data(), text.data() + text.size(), piece, utf8_encoding{{substitute(strict)}});
}

// Any byte that is not a continuation starts a new sequence, so cutting
// before it changes nothing; so does cutting after a complete one.
std::size_t utf8_complete(std::string_view bytes) {
    for (std::size_t back = 1; back <= 3 && back <= bytes.size(); ++back) {
        const auto byte = static_cast<unsigned char>(bytes[bytes.size() - back]);
        if ((byte & 0xC0) == 0x80) continue;
        const std::size_t need = byte >= 0xF5 ? 1 : byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC2 ? 2 : 1;
        return back < need ? bytes.size() - back : bytes.size();
    }
    return bytes.size();
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
    if (gb_) {
        make_room(out, 2, 0);
        out += "~}";
    }
    gb_ = tilde_ = half_ = false;
}

void map_bytes(std::string_view bytes, std::u16string& out) {
    const std::size_t start = out.size();
    make_room(out, bytes.size(), 0);
    out.resize(start + bytes.size());
    std::transform(bytes.begin(), bytes.end(), out.begin() + static_cast<std::ptrdiff_t>(start),
                   [](char c) { return static_cast<char16_t>(static_cast<unsigned char>(c)); });
}

void map_units(std::u16string_view text, std::string& out, const char* replacement) {
    const std::size_t start = out.size();
    make_room(out, text.size(), 0);
    out.resize(start + text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] <= 0xFF) {
            out[start + i] = static_cast<char>(text[i]);
        } else if (replacement) {
            out[start + i] = *replacement;
        } else {
            out.resize(start);
            throw unmappable_character("");
        }
    }
}

}  // namespace corvid::unicode::detail
