// SPDX-License-Identifier: MIT
#ifndef CORVID_LINE_WRITER_H
#define CORVID_LINE_WRITER_H

#include <cstddef>
#include <list>
#include <string>
#include <string_view>
#include <vector>

namespace corvid {

// Joins lines into text, each followed by CR LF, and hands the text out whole
// or in pieces from the front.
// Invariant: the pending text is every line put, in order, minus the bytes
// already taken. Throws only allocation and length errors.
class line_writer {
public:
    line_writer() = default;
    explicit line_writer(std::string_view line);
    explicit line_writer(const std::vector<std::string>& lines);
    explicit line_writer(const std::list<std::string>& lines);

    void put_line(std::string_view line);
    void put_lines(const std::vector<std::string>& lines);
    void put_lines(const std::list<std::string>& lines);

    // Moves all pending text into out (replacing its contents); returns its
    // length.
    std::size_t take_text(std::string& out);
    // Copies up to length bytes from the front into buffer and removes them;
    // returns how many.
    std::size_t extract(char* buffer, std::size_t length) noexcept;

    // Bytes pending.
    std::size_t size() const noexcept { return text.size() - position; }

private:
    template <typename Lines>
    void put_all(const Lines& lines);

    // Pending bytes are text[position...].
    std::string text;
    std::size_t position = 0;
};

}  // namespace corvid

#endif
