#ifndef CORVID_UNICODE_ICU_STEPS_H
#define CORVID_UNICODE_ICU_STEPS_H

// Internal: the conversion steps that whole-text and streamed conversions
// share, over an ICU converter that the caller owns or borrows.

#include <string>
#include <string_view>

#include <unicode/ucnv.h>

namespace corvid::unicode::detail {

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
                hz_walker* hz = nullptr);

// Appends the bytes of text; unless last, the converter keeps its state
// (an open escape, a lone high surrogate) for the next piece.
void from_unicode(UConverter& converter, std::u16string_view text, std::string& out, bool last);

// UTF-8 through ICU's string functions, which beat its converter clearly;
// they take 32-bit lengths, so longer texts go through the converter.
inline constexpr std::size_t utf8_fast_limit = 0x7FFFFFFF / 3;
void utf8_to_wide(std::string_view bytes, std::u16string& out, bool strict);
void wide_to_utf8(std::u16string_view text, std::string& out, bool strict);

// The byte mapping of no_codepage, appending: bytes to the units of the
// same value, and back (a unit above 0xFF throws unmappable_character).
void map_bytes(std::string_view bytes, std::u16string& out);
void map_units(std::u16string_view text, std::string& out);

// The HZ code page, whose output needs closing.
inline constexpr int hz_codepage = 52936;

}  // namespace corvid::unicode::detail

#endif
