// SPDX-License-Identifier: MIT
#ifndef CORVID_INTERNET_MESSAGE2_TEXT_LINES_H
#define CORVID_INTERNET_MESSAGE2_TEXT_LINES_H

// Internal: the lines of a text that the reader keeps, as views cut on
// demand. Lines end as line_reader ends them (CR, LF, CR LF, LF CR), and a
// text ending in a line end has a last empty line, so an empty text is one
// empty line. Nothing is copied: a message is read in little more memory
// than its text and its decoded bodies.

#include <corvid/line_scanner.h>

#include <cstddef>
#include <iterator>
#include <string_view>

namespace corvid::internet::message2 {

class text_lines {
public:
    class iterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = std::string_view;
        using difference_type = std::ptrdiff_t;
        using pointer = const std::string_view*;
        using reference = const std::string_view&;

        iterator() = default;

        reference operator*() const noexcept { return line; }
        pointer operator->() const noexcept { return &line; }
        iterator& operator++() noexcept {
            const char* stop = line.data() + line.size();
            if (stop == end) {
                done = true;
                line = std::string_view(end, 0);
            } else {
                start_at(stop + line_scanner::end_length(stop, end), stop);
            }
            return *this;
        }
        iterator operator++(int) noexcept {
            iterator before = *this;
            ++*this;
            return before;
        }
        bool operator==(const iterator& other) const noexcept {
            return done == other.done && line.data() == other.line.data();
        }

        bool at_end() const noexcept { return done; }
        // Where the line before this one stopped (before its line end); the
        // end of the text for the end iterator.
        const char* previous_stop() const noexcept { return previous; }
        const char* text_end() const noexcept { return end; }

    private:
        friend class text_lines;

        iterator(const char* start, const char* previous, const char* end) noexcept : end(end) {
            start_at(start, previous);
        }
        void start_at(const char* start, const char* before) noexcept {
            previous = before;
            line = std::string_view(start, static_cast<std::size_t>(line_scanner::find_end(start, end) - start));
        }

        std::string_view line;
        const char* previous = nullptr;
        const char* end = nullptr;
        bool done = false;
    };

    explicit text_lines(std::string_view text) noexcept : text(text) {}

    iterator begin() const noexcept { return {text.data(), text.data(), text.data() + text.size()}; }
    iterator end() const noexcept {
        iterator last;
        last.line = std::string_view(text.data() + text.size(), 0);
        last.previous = last.end = text.data() + text.size();
        last.done = true;
        return last;
    }
    // The line that starts at start, which must begin a line of the text
    // (the text's start, or a byte after a CR or LF).
    iterator line_at(const char* start) const noexcept {
        return {start, stop_before(start), text.data() + text.size()};
    }

    // The bytes of the lines [first, last), without the line end before last.
    static std::string_view span(const iterator& first, const iterator& last) noexcept {
        if (first == last) return {};
        return {first->data(), static_cast<std::size_t>(last.previous_stop() - first->data())};
    }

private:
    // Where the line before the one at start stopped. Line ends pair from
    // the first CR or LF of a run onwards, so the run is walked from there.
    const char* stop_before(const char* start) const noexcept {
        const char* run = start;
        while (run != text.data() && line_scanner::is_end(run[-1])) --run;
        const char* stop = run;
        for (const char* at = run; at != start;) {
            stop = at;
            at += line_scanner::end_length(at, start);
        }
        return stop;
    }

    std::string_view text;
};

// Whether a line of text (lines ended by CR or LF) begins with prefix.
inline bool starts_a_line(std::string_view text, std::string_view prefix) noexcept {
    for (std::size_t at = text.find(prefix); at != std::string_view::npos; at = text.find(prefix, at + 1))
        if (at == 0 || text[at - 1] == '\r' || text[at - 1] == '\n') return true;
    return false;
}

}  // namespace corvid::internet::message2

#endif
