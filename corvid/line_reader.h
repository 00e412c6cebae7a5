// SPDX-License-Identifier: MIT
#ifndef CORVID_LINE_READER_H
#define CORVID_LINE_READER_H

#include <corvid/line_scanner.h>

#include <cstddef>
#include <string>
#include <string_view>

namespace corvid {

// Cuts bytes that arrive in pieces into lines. CR, LF, CR LF and LF CR each
// end one line; CR CR and LF LF end two (the second line empty). A terminator
// split across two appended pieces still counts once. After finish(), the
// partial line (possibly empty) comes out once, so a text ending in a
// terminator yields a final empty line.
// Invariant: every appended byte other than CR and LF comes out exactly once,
// in order, in some line. Throws only allocation errors.
class line_reader {
public:
    line_reader() = default;
    explicit line_reader(std::string text);

    // Adds bytes to the end of the input and clears the end flag.
    void append(std::string_view text);
    // No more bytes will come: the next get_line after the input runs out
    // returns the partial line.
    void finish() noexcept;

    // Moves the next line into out; false when no complete line is available.
    bool get_line(std::string& out);

    // Appends every line get_line gives to a list, deque or vector of strings;
    // returns how many.
    template <typename Lines>
        requires requires(Lines& lines, std::string line) { lines.push_back(std::move(line)); }
    std::size_t get_lines(Lines& lines) {
        std::size_t count = 0;
        for (std::string line; get_line(line); ++count) lines.push_back(std::move(line));
        return count;
    }

private:
    // Unread bytes are input[position...]; the consumed front is dropped in
    // bulk, so reading stays linear in the input size.
    std::string input;
    std::size_t position = 0;
    std::string partial;
    line_scanner scanner;
    bool ended = false;
};

}  // namespace corvid

#endif
