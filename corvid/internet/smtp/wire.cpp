// SPDX-License-Identifier: MIT
#include <corvid/internet/smtp/wire.h>


namespace corvid::internet::smtp {

namespace {

bool is_digit(char c) noexcept { return c >= '0' && c <= '9'; }

// Collects stuffed text lines and sends them a piece at a time, each piece
// bounded by the time-out on its own: a server that stops reading must not
// hold the client for ever.
class text_writer {
public:
    explicit text_writer(transport::tcp::base& stream) : stream(stream) { out.reserve(text_piece + 1024); }

    void line(std::string_view text) {
        if (!text.empty() && text.front() == '.') out += '.';
        out.append(text).append("\r\n");
        if (out.size() >= text_piece) send();
    }
    void finish() {
        if (!out.empty()) send();
    }

private:
    void send() {
        exchange_deadline bound(stream);
        stream.write(out, true);
        out.clear();
    }

    transport::tcp::base& stream;
    std::string out;
};

}  // namespace

bool has_line_break(std::string_view text) noexcept {
    return text.find_first_of("\r\n") != std::string_view::npos;
}

int read_reply(transport::tcp::base& stream, reply_texts& texts) {
    texts.clear();
    std::string line;
    int code = -1;
    for (;;) {
        stream.read_line(line);
        if (line.size() < 3 || !is_digit(line[0]) || !is_digit(line[1]) || !is_digit(line[2]))
            throw protocol_error("Bad response: " + line);
        const int this_code = (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0');
        // A server whose lines disagree cannot be trusted with either code.
        if (code >= 0 && this_code != code) throw protocol_error("Mixed reply codes: " + line);
        code = this_code;
        if (line.size() == 3) break;
        texts.push_back(line.substr(4));
        if (line[3] == ' ') break;
        if (line[3] != '-') throw protocol_error("Invalid character: " + line);
        if (texts.size() > max_continuation_lines) throw protocol_error("Excess response: " + line);
    }
    switch (line[0]) {
        case '4': throw temporary_failure(line);
        case '5': throw permanent_failure(line);
        default: return code;
    }
}

int expect_code(int code, int low, int high, std::string_view step, const reply_texts& texts) {
    if (code >= low && code <= high) return code;
    std::string reply = std::to_string(code);
    if (!texts.empty()) reply.append(" ").append(texts.back());
    std::string message = "Unexpected reply to ";
    message.append(step).append(": ").append(reply);
    throw protocol_error(message);
}

int command(transport::tcp::base& stream, std::string_view line, reply_texts& texts) {
    if (has_line_break(line)) throw generic("command line holds CR or LF");
    exchange_deadline bound(stream);
    stream.write_line(line, true);
    return read_reply(stream, texts);
}

void send_text(transport::tcp::base& stream, const std::vector<std::string>& lines) {
    text_writer writer(stream);
    for (const std::string& line : lines) writer.line(line);
    writer.finish();
}

void send_text(transport::tcp::base& stream, std::string_view text) {
    text_writer writer(stream);
    for (std::size_t at = 0; at < text.size();) {
        std::size_t end = text.find("\r\n", at);
        end = end == std::string_view::npos ? text.size() : end;
        writer.line(text.substr(at, end - at));
        at = end + 2;
    }
    writer.finish();
}

text_facts examine_text(std::string_view text) noexcept {
    text_facts facts;
    bool in_header = true;
    std::size_t number = 1;
    for (std::size_t at = 0; at < text.size(); ++number) {
        std::size_t end = text.find("\r\n", at);
        end = end == std::string_view::npos ? text.size() : end;
        const std::string_view line = text.substr(at, end - at);
        if (facts.bare_line_break == 0 && has_line_break(line)) facts.bare_line_break = number;
        if (facts.long_line == 0 && line.size() > max_text_line) facts.long_line = number;
        if (line.empty()) in_header = false;
        for (const char c : line) {
            if (static_cast<unsigned char>(c) < 0x80) continue;
            facts.eight_bit = true;
            facts.eight_bit_header = facts.eight_bit_header || in_header;
            break;
        }
        at = end + 2;
    }
    return facts;
}

exchange_deadline::exchange_deadline(transport::tcp::base& stream) noexcept
    : exchange_deadline(stream, stream.receive_timeout()) {}

exchange_deadline::exchange_deadline(transport::tcp::base& stream, int limit) noexcept
    : stream(stream), outer(stream.deadline()) {
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
