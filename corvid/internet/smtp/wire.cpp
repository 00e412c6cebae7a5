#include <corvid/internet/smtp/wire.h>

#include <corvid/variant/variant.h>

namespace corvid::internet::smtp {

namespace {

// The code is read by the atoi rule, so "2x0" gives 2 and "abc" 0.
int reply_code(const std::string& line) { return variant(line.substr(0, 3)).as_integer(); }

}  // namespace

bool has_line_break(std::string_view text) noexcept {
    return text.find_first_of("\r\n") != std::string_view::npos;
}

int read_reply(transport::tcp::base& stream, reply_texts& texts) {
    texts.clear();
    std::string line;
    for (;;) {
        stream.read_line(line);
        if (line.size() < 3) throw generic("Bad response: " + line);
        if (line.size() == 3) break;
        texts.push_back(line.substr(4));
        if (line[3] == ' ') break;
        if (line[3] != '-') throw generic("Invalid character: " + line);
        if (texts.size() > max_continuation_lines) throw generic("Excess response: " + line);
    }
    // Only the last line decides; continuation codes are not compared.
    switch (line[0]) {
        case '4': throw temporary_failure(line);
        case '5': throw permanent_failure(line);
        default: return reply_code(line);
    }
}

int command(transport::tcp::base& stream, std::string_view line, reply_texts& texts) {
    if (has_line_break(line)) throw generic("command line holds CR or LF");
    exchange_deadline bound(stream);
    stream.write_line(line, true);
    return read_reply(stream, texts);
}

void send_text(transport::tcp::base& stream, const std::vector<std::string>& lines) {
    for (const std::string& line : lines) {
        // Each line's send is bounded on its own: a server that stops reading
        // must not hold the client for ever.
        exchange_deadline bound(stream);
        if (!line.empty() && line[0] == '.') stream.write(".", true);
        stream.write_line(line, true);
    }
}

void send_text(transport::tcp::base& stream, std::string_view text) {
    constexpr std::size_t piece = 64 * 1024;
    std::string out;
    out.reserve(piece + 1024);
    const auto write_out = [&] {
        exchange_deadline bound(stream);
        stream.write(out, true);
        out.clear();
    };
    for (std::size_t at = 0; at < text.size();) {
        std::size_t end = text.find("\r\n", at);
        end = end == std::string_view::npos ? text.size() : end;
        if (text[at] == '.') out += '.';
        out.append(text.substr(at, end - at)).append("\r\n");
        at = end + 2;
        if (out.size() >= piece) write_out();
    }
    if (!out.empty()) write_out();
}

std::size_t bare_line_break(std::string_view text) noexcept {
    std::size_t line = 1;
    for (std::size_t at = text.find_first_of("\r\n"); at != std::string_view::npos;
         at = text.find_first_of("\r\n", at + 2), ++line)
        if (text[at] != '\r' || at + 1 == text.size() || text[at + 1] != '\n') return line;
    return 0;
}

exchange_deadline::exchange_deadline(transport::tcp::base& stream) noexcept
    : stream(stream), outer(stream.deadline()) {
    int limit = stream.receive_timeout();
    if (limit <= 0) return;
    auto until = transport::tcp::base::clock::now() + std::chrono::milliseconds(limit);
    // Inside a longer exchange the earlier end holds.
    if (outer && *outer < until) until = *outer;
    stream.set_deadline(until);
}

exchange_deadline::~exchange_deadline() {
    if (outer)
        stream.set_deadline(*outer);
    else
        stream.clear_deadline();
}

}  // namespace corvid::internet::smtp
