// SPDX-License-Identifier: MIT
#ifndef CORVID_TESTS_SUPPORT_LINE_CASES_H
#define CORVID_TESTS_SUPPORT_LINE_CASES_H

// Texts and the lines they must give, for every reader that cuts bytes into
// lines: all of them pair CR and LF alike, wherever the input is cut.

#include <corvid/line_scanner.h>

#include <algorithm>
#include <string>
#include <vector>

namespace corvid::test {

struct line_case {
    std::string text;
    // The lines ended by a line end, each with the end that closed it.
    std::vector<std::string> lines;
    std::vector<line_end> ends;
    // What follows the last line end (a line only for a reader that is told
    // that the input is finished).
    std::string tail;
};

inline const std::vector<line_case>& line_cases() {
    using e = line_end;
    static const std::vector<line_case> cases = {
        {"a\r\nb\r\n", {"a", "b"}, {e::cr_lf, e::cr_lf}, ""},
        {"a\n\rb\n", {"a", "b"}, {e::lf_cr, e::lf}, ""},
        {"a\rb\r", {"a", "b"}, {e::cr, e::cr}, ""},
        {"a\r\rb", {"a", ""}, {e::cr, e::cr}, "b"},
        {"a\n\nb", {"a", ""}, {e::lf, e::lf}, "b"},
        // The second half of a pair is dropped, and the LF after it is a line
        // end of its own.
        {"a\r\n\nb\r\n", {"a", "", "b"}, {e::cr_lf, e::lf, e::cr_lf}, ""},
        {"a\n\r\rb", {"a", ""}, {e::lf_cr, e::cr}, "b"},
        {"a\r\n\r\n", {"a", ""}, {e::cr_lf, e::cr_lf}, ""},
        {"a\n\r\n\rb", {"a", ""}, {e::lf_cr, e::lf_cr}, "b"},
        {"a\r\n\n\rb", {"a", ""}, {e::cr_lf, e::lf_cr}, "b"},
        {"a\r\r\n\nb", {"a", "", ""}, {e::cr, e::cr_lf, e::lf}, "b"},
        {"\r\n", {""}, {e::cr_lf}, ""},
        {std::string("\0\xff", 2) + "\n", {std::string("\0\xff", 2)}, {e::lf}, ""},
        {"tail", {}, {}, "tail"},
    };
    return cases;
}

// The pairing rule applied one byte at a time, as a plain engine for the
// memchr search to be held to. The last entry is the text after the last
// line end.
inline std::vector<std::string> plain_lines(const std::string& text) {
    std::vector<std::string> lines(1);
    char last = 0;  // the line end that ended the previous line, while nothing followed
    for (char c : text) {
        if (c != '\r' && c != '\n') {
            lines.back() += c;
            last = 0;
        } else if (last == 0 || c == last) {
            lines.emplace_back();
            last = c;
        } else {
            last = 0;  // the second half of a pair
        }
    }
    return lines;
}

// Random text of CR, LF and runs of other bytes, some longer than the
// blocks the search goes by, with random cut points.
template <typename Random>
std::string random_text(Random& random, std::vector<std::size_t>& cuts) {
    std::string text;
    for (int i = random() % 40; i > 0; --i) {
        unsigned pick = random() % 8;
        if (pick < 2)
            text += "\r\n"[pick];
        else
            text.append(pick == 7 ? random() % 700 : random() % 4, static_cast<char>('a' + pick));
    }
    cuts.clear();
    for (int i = random() % 5; i > 0; --i) cuts.push_back(text.empty() ? 0 : random() % text.size());
    std::sort(cuts.begin(), cuts.end());
    return text;
}

}  // namespace corvid::test

#endif
