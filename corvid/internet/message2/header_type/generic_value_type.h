// SPDX-License-Identifier: MIT
#ifndef CORVID_INTERNET_MESSAGE2_HEADER_TYPE_GENERIC_VALUE_TYPE_H
#define CORVID_INTERNET_MESSAGE2_HEADER_TYPE_GENERIC_VALUE_TYPE_H

#include <string>
#include <string_view>
#include <vector>

namespace corvid::internet::message2::header_type {

// Base of the header value kinds: objects that parse the raw text of a header
// into a structured value held as wide text, and render it back. `charset`
// names the character set used for non-ASCII text when rendering and for
// undecorated bytes when parsing; decoding an encoded word replaces it with
// the charset the word names.
// Value kinds are locals, never deleted through a base pointer. They throw
// nothing of their own; conversion errors of corvid::unicode pass through.
class generic_value_type {
public:
    std::string charset;

    generic_value_type();
    explicit generic_value_type(std::string charset);

    virtual std::string render() const = 0;
    // Replaces the current value by the one read from raw header text.
    virtual void parse(const std::string& raw) = 0;

    // Raw header text for a wide text: the text itself when it is plain
    // printable ASCII without "=?", otherwise one encoded word in `charset`, B or Q form,
    // whichever is shorter (Q on a tie). A word that would pass 75
    // characters becomes several, cut between characters and separated by
    // blanks. Line breaks and other control characters are always encoded,
    // so a rendered value can never spill into a header of its own.
    std::string encode_text(std::u16string_view text) const;

    // Decodes one blank-free token that may hold one encoded word, with plain
    // bytes before and after it. Returns whether a word was decoded; text is
    // replaced either way. Malformed words are read as plain bytes.
    bool decode_word(std::string_view token, std::u16string& text);

    // Undecorated header bytes as text: UTF-8 where they are valid UTF-8,
    // else read in codepage.
    static std::u16string plain_text(std::string_view bytes, int codepage);

    // Decodes raw header text word by word at blanks. Blanks between two
    // encoded words are dropped, other runs of blanks kept, trailing ones cut.
    std::u16string decode_text(std::string_view raw);

    // Splits raw text at any of the delimiters. Quoted sections, backslash
    // escapes and encoded words never split; quotes and the backslashes of
    // escapes are kept when asked for, else a quoted pair gives its
    // character.
    // Leading blanks of a token are skipped, empty tokens dropped.
    static std::vector<std::string> tokenize(std::string_view raw, std::string_view delimiters,
                                             bool keep_quotes);

protected:
    ~generic_value_type() = default;
    generic_value_type(const generic_value_type&) = default;
    generic_value_type& operator=(const generic_value_type&) = default;

    // encode_text for a text that is written between double quotes: a quote
    // inside it would end the quoted string early, so it forces an encoded
    // word as well, as do the blanks that would not be read back.
    std::string encode_quoted(std::u16string_view text) const;
    // Whether reading a header would change the text as it stands: tabs are
    // unfolded to blanks, and blanks at the start and the end are cut.
    static bool loses_blanks(std::u16string_view text) noexcept;
    // The text as encoded words, whatever it holds.
    std::string encode_word(std::u16string_view text) const;

private:
    // The shorter of the B and Q words for bytes in `charset`.
    std::string encode_bytes(const std::string& bytes) const;
    // Appends the word for text, after a blank when words is not empty.
    void append_word(std::string& words, std::u16string_view text, int codepage) const;
};

}  // namespace corvid::internet::message2::header_type

#endif
