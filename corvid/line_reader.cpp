// SPDX-License-Identifier: MIT
#include <corvid/line_reader.h>

namespace corvid {

line_reader::line_reader(std::string text) : input(std::move(text)) {}

void line_reader::append(std::string_view text) {
    // Dropping the consumed front only once it is at least half the buffer
    // costs each byte a bounded number of moves.
    if (position != 0 && position >= input.size() - position) {
        input.erase(0, position);
        position = 0;
    }
    input.append(text);
    ended = false;
}

void line_reader::finish() noexcept { ended = true; }

bool line_reader::get_line(std::string& out) {
    if (position < input.size()) {
        const char* begin = input.data() + position;
        line_scanner::line line = scanner.scan(begin, input.size() - position);
        if (line.found()) {
            if (partial.empty()) {
                // The common case: the whole line lies in the input.
                out.assign(begin + line.start, begin + line.stop);
            } else {
                partial.append(begin + line.start, begin + line.stop);
                out.swap(partial);
                partial.clear();
            }
            position += line.next;
            return true;
        }
        partial.append(begin + line.start, begin + line.stop);
    }
    input.clear();
    position = 0;
    if (!ended) return false;
    out.swap(partial);
    partial.clear();
    ended = false;
    scanner.reset();
    return true;
}

}  // namespace corvid
