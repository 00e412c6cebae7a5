#include <corvid/line_reader.h>

#include <cstring>

namespace corvid {

namespace {

constexpr char cr = '\r';
constexpr char lf = '\n';

// First CR or LF in [begin, end), or end. memchr scans many bytes a step.
const char* find_terminator(const char* begin, const char* end) noexcept {
    auto size = static_cast<std::size_t>(end - begin);
    auto* found = static_cast<const char*>(std::memchr(begin, lf, size));
    if (found != nullptr) size = static_cast<std::size_t>(found - begin);
    auto* found_cr = static_cast<const char*>(std::memchr(begin, cr, size));
    if (found_cr != nullptr) return found_cr;
    return found != nullptr ? found : end;
}

}  // namespace

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
    const char* data = input.data();
    const char* end = data + input.size();
    while (position < input.size()) {
        char c = data[position];
        if (c == cr || c == lf) {
            ++position;
            if (last_terminator == 0) {
                last_terminator = c;
                out.swap(partial);
                partial.clear();
                return true;
            }
            if (c == last_terminator) {
                out.clear();
                return true;
            }
            last_terminator = 0;  // the second half of CR LF or LF CR
            continue;
        }
        const char* begin = data + position;
        const char* stop = find_terminator(begin, end);
        last_terminator = 0;
        if (stop != end && partial.empty()) {
            // The common case: the whole line lies in the input.
            out.assign(begin, stop);
            last_terminator = *stop;
            position = static_cast<std::size_t>(stop - data) + 1;
            return true;
        }
        partial.append(begin, stop);
        position = static_cast<std::size_t>(stop - data);
    }
    input.clear();
    position = 0;
    if (!ended) return false;
    out.swap(partial);
    partial.clear();
    ended = false;
    last_terminator = 0;
    return true;
}

}  // namespace corvid
