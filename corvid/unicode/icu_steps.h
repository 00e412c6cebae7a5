// SPDX-License-Identifier: MIT
#ifndef CORVID_UNICODE_ICU_STEPS_H
#define CORVID_UNICODE_ICU_STEPS_H

// Internal: the conversion steps that whole-text and streamed conversions
// share, over an ICU converter that the caller owns or borrows. Every step
// takes text of any size: ICU's calls take spans of 31 bits at most (30 for
// UTF-16 units), so a step feeds them a piece at a time.

#include <cstddef>
#include <string>
#include <string_view>

#include <unicode/ucnv.h>

namespace corvid::unicode::detail {

// Source units (bytes or UTF-16 units) that one ICU call gets at the most.
// Far inside ICU's limits even at four output units per input unit, and
// large enough that the cost of a call vanishes. Tests pass a few units to
// cut text at every place.
inline constexpr std::size_t piece_size = std::size_t{1} << 22;

// Throws the error of a failed ICU call: unmappable_character (empty
// message) for text the page cannot take, otherwise out_of_memory or
// generic naming the call and ICU's name of status.
[[noreturn]] void throw_for(UErrorCode status, const char* call);

// Gives text a capacity of at least capacity bytes; throws out_of_memory
// when it cannot.
void reserve(std::string& text, std::size_t capacity);

// Resolves code page 0 to the ANSI page; every other number stays.
int resolve(int codepage);

// Sets the callbacks both ways: fail on the first invalid or unmappable
// character when strict, substitute otherwise.
void set_callbacks(UConverter& converter, bool strict);

// Follows HZ text piece by piece. ICU's encoder leaves a GB run open at the
// end, so whatever came next would read as GB: close() ends it. ICU's
// decoder drops a GB pair or escape cut short at the end without a word:
// cut() tells.
class hz_walker {
public:
    void see(std::string_view hz);
    bool cut() const { return tilde_ || half_; }
    void close(std::string& out);

private:
    bool gb_ = false;
    bool tilde_ = false;  // a "~" whose partner comes in the next piece
    bool half_ = false;   // the first byte of a GB pair ended the last piece
};

// Appends the wide text of bytes. Unless last, an unfinished character or
// escape waits in the converter for the next piece. When last, input that
// ends inside a character throws unmappable_character if strict and
// otherwise gives one U+FFFD; it is never dropped silently. An HZ converter
// needs its walker to tell, as it keeps such a byte out of sight.
void to_unicode(UConverter& converter, std::string_view bytes, std::u16string& out, bool strict, bool last,
                hz_walker* hz = nullptr, std::size_t piece = piece_size);

// Appends the bytes of text; unless last, the converter keeps its state
// (an open escape, a lone high surrogate) for the next piece.
void from_unicode(UConverter& converter, std::u16string_view text, std::string& out, bool last,
                  std::size_t piece = piece_size);

// UTF-8 through ICU's string functions, which beat its converter clearly.
// They keep no state, so each takes whole text: what ends inside a
// character is invalid. Pieces end on character boundaries, which gives
// exactly the result of one call over the whole text.
void utf8_to_wide(std::string_view bytes, std::u16string& out, bool strict, std::size_t piece = piece_size);
void wide_to_utf8(std::u16string_view text, std::string& out, bool strict, std::size_t piece = piece_size);

// How much of bytes ends on a UTF-8 character boundary: a lead byte whose
// sequence is not complete yet waits.
std::size_t utf8_complete(std::string_view bytes);

// The byte mapping of no_codepage, appending: bytes to the units of the
// same value, and back. A unit above 0xFF becomes *replacement, or throws
// unmappable_character without one.
void map_bytes(std::string_view bytes, std::u16string& out);
void map_units(std::u16string_view text, std::string& out, const char* replacement = nullptr);

// The HZ code page, whose output needs closing.
inline constexpr int hz_codepage = 52936;

// The whole-text conversions of convert.h (convert.cpp), with the size of
// the pieces open. replacement is null for the page's own substitution.
std::u16string wide_of(const std::string& text, int codepage, bool strict, std::size_t piece = piece_size);
std::string narrow_of(const std::u16string& text, int codepage, bool strict, const char* replacement,
                      std::size_t piece = piece_size);
std::string transcode(const std::string& text, int from, int to, std::size_t piece = piece_size);

}  // namespace corvid::unicode::detail

#endif
