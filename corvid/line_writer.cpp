// SPDX-License-Identifier: MIT
#include <corvid/line_writer.h>

#include <cstring>

namespace corvid {

line_writer::line_writer(std::string_view line) { put_line(line); }

line_writer::line_writer(const std::vector<std::string>& lines) { put_all(lines); }

line_writer::line_writer(const std::list<std::string>& lines) { put_all(lines); }

void line_writer::put_line(std::string_view line) {
    // Drop the extracted front once it outweighs what is pending, so that
    // alternating put_line and extract stays linear.
    if (position != 0 && position >= text.size() - position) {
        text.erase(0, position);
        position = 0;
    }
    text.append(line);
    text.append("\r\n");
}

void line_writer::put_lines(const std::vector<std::string>& lines) { put_all(lines); }

void line_writer::put_lines(const std::list<std::string>& lines) { put_all(lines); }

template <typename Lines>
void line_writer::put_all(const Lines& lines) {
    for (const std::string& line : lines) put_line(line);
}

std::size_t line_writer::take_text(std::string& out) {
    if (position == 0)
        out.swap(text);
    else
        out.assign(text, position);
    text.clear();
    position = 0;
    return out.size();
}

std::size_t line_writer::extract(char* buffer, std::size_t length) noexcept {
    std::size_t count = size() < length ? size() : length;
    if (count != 0) std::memcpy(buffer, text.data() + position, count);
    position += count;
    if (position == text.size()) {
        text.clear();
        position = 0;
    }
    return count;
}

}  // namespace corvid
