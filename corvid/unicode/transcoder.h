// SPDX-License-Identifier: MIT
#ifndef CORVID_UNICODE_TRANSCODER_H
#define CORVID_UNICODE_TRANSCODER_H

#include <memory>
#include <string>
#include <string_view>

namespace corvid::unicode {

// transcode() for text that arrives in pieces of any size. A character cut
// by the end of a piece, and the state of a stateful page (ISO-2022-JP, HZ,
// UTF-7) in either direction, carry over to the next piece, so the output of
// all pieces followed by finish() is what transcode() gives for the whole
// text. Throws what to_wide() and to_narrow() throw; text that ends inside a
// character is unmappable_character in a strict page and U+FFFD otherwise.
// A transcoder converts one text; it is not shared between threads.
class transcoder {
public:
    // With substituting, text is read whatever it holds, even in a strict
    // page: invalid bytes become U+FFFD and characters the target page
    // lacks become its own substitution character, as in
    // to_wide_substituting().
    transcoder(int from, int to, bool substituting = false);
    ~transcoder();
    transcoder(const transcoder&) = delete;
    transcoder& operator=(const transcoder&) = delete;

    void step(std::string_view bytes, std::string& out);
    void finish(std::string& out);

private:
    struct state;
    std::unique_ptr<state> state_;
};

}  // namespace corvid::unicode

#endif
