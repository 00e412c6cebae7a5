// SPDX-License-Identifier: MIT
#ifndef CORVID_CODING_STREAM_H
#define CORVID_CODING_STREAM_H

#include <corvid/coding/bits.h>

#include <cstddef>
#include <string>
#include <string_view>

// Incremental forms of the codecs, for input that arrives in pieces of any
// size: whatever a piece leaves unfinished (a partial group, a digit without
// its partner, an escape cut short, a line under construction) waits for
// the next one. The output of all pieces followed by finish() is exactly
// what the whole-string function gives for the whole input, and a strict
// decoder throws translate::invalid_codeword naming the same byte, after
// appending the same bytes before it.
namespace corvid::coding {

enum class codec { hex, base64, uu, quoted_printable, url };

// Encodes as hex_encode, base64_encode (padded), uu_encode,
// quoted_printable_encode or url_encode. A wrap above 0 cuts the text into
// lines of that many characters, each ended by a line feed.
class stream_encoder {
public:
    explicit stream_encoder(codec which, std::size_t wrap = 0) : which_(which), wrap_(wrap) {}

    void step(std::string_view bytes, std::string& out);
    void finish(std::string& out);

private:
    void emit(std::string& out);

    codec which_;
    std::size_t wrap_;
    std::size_t column_ = 0;
    // The bytes of an unfinished base64 or uuencode group.
    char group_[2]{};
    std::size_t grouped_ = 0;
    std::string text_;
};

// Decodes as the appending forms of hex_decode, base64_decode, uu_decode,
// quoted_printable_decode or url_decode.
class stream_decoder {
public:
    stream_decoder(codec which, bool strict) : which_(which), strict_(strict) {}

    void step(std::string_view text, std::string& out);
    void finish(std::string& out);

private:
    codec which_;
    bool strict_;
    detail::decode_state bits_;
    int high_ = -1;
    // An escape marker with fewer than two bytes after it so far.
    std::string held_;
};

}  // namespace corvid::coding

#endif
