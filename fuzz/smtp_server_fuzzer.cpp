// SPDX-License-Identifier: MIT
// Plays arbitrary bytes as the client's side of an SMTP session served by
// agent::serve, through to delivery. The first byte steers how the rest is
// cut into receives, the size limit, the hop limit and whether logins are
// offered. The stream's socket is a real loopback connection, so that the
// session has addresses for its trace line; its bytes come from the input.
// A handler throws refusals whose text comes from the input, so that a
// malformed one must be caught before it reaches the wire, and checks after
// every step that:
// - nothing is delivered without a sender and a recipient accepted in the
//   same transaction, and no transaction is delivered twice;
// - the trace line is one line of printable ASCII;
// - the delivered text is what a plain line-by-line reading of the input
//   gives for some message in it: leading dots dropped, ended by a "."
//   line between two CR LF;
// - the text comes in bounded pieces.
// Every reply line must be three digits and a space or "-", with no stray
// CR or LF, and a syntax-error reply must stay short. Anything else, a
// crash, a sanitizer report, a hang or an escaping std exception is a
// finding.

#include <corvid/exception.h>
#include <corvid/internet/address/ip4.h>
#include <corvid/internet/environment/startup.h>
#include <corvid/internet/smtp/agent.h>
#include <corvid/internet/transport/tcp/raw.h>
#include "replay_stream.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <optional>
#include <string>
#include <string_view>

namespace {

namespace smtp = corvid::internet::smtp;
using corvid::fuzz::replay_stream;
using corvid::internet::address::ip4;
using corvid::internet::transport::tcp::raw;

void require(bool holds) {
    if (!holds) std::abort();
}

// The text of a message whose first line starts at input[start], read the
// plain way, a line at a time: a line "." ends it, a leading dot is dropped.
// Nothing when no such line comes. A reference for the server's reading in
// pieces.
std::optional<std::string> text_from(std::string_view input, std::size_t start, bool first_line_starts) {
    std::string text;
    for (std::size_t at = start; at < input.size();) {
        const std::size_t end = input.find("\r\n", at);
        if (end == std::string_view::npos) return std::nullopt;
        std::string_view line = input.substr(at, end - at);
        const bool starts = at > start || first_line_starts;
        if (starts && line == ".") return text;
        if (starts && line.starts_with('.')) line.remove_prefix(1);
        text.append(line).append("\r\n");
        at = end + 2;
    }
    return std::nullopt;
}

// Whether text is what the client sent as a message after some line of the
// input (the DATA line, whatever its spelling).
bool was_sent(std::string_view input, const std::string& text) {
    for (std::size_t lf = input.find('\n'); lf != std::string_view::npos; lf = input.find('\n', lf + 1)) {
        const bool after_cr_lf = lf > 0 && input[lf - 1] == '\r';
        if (text_from(input, lf + 1, after_cr_lf) == text) return true;
    }
    return false;
}

// Recipients that start with a digit are refused with their own text as the
// reply, well-formed or not. Logins: user "u", password and secret "p".
class checking_handler : public smtp::accept_handler {
public:
    explicit checking_handler(std::string_view input) : input(input) {}

    void reset() override {
        accept_handler::reset();
        have_sender = false;
        have_recipient = false;
    }
    bool accept_sender(const std::string& address) override {
        require(!in_message);
        accept_handler::accept_sender(address);
        have_sender = true;
        have_recipient = false;
        return true;
    }
    bool accept_recipient(const std::string& address) override {
        require(have_sender && !in_message);
        if (!address.empty() && address[0] >= '0' && address[0] <= '9') throw smtp::refused(address);
        have_recipient = true;
        return accept_handler::accept_recipient(address);
    }
    void begin_message(const std::string& trace) override {
        require(have_sender && have_recipient && !in_message);
        require(trace.starts_with("Received: from "));
        for (char c : trace) require(c >= 0x20 && c < 0x7f);
        in_message = true;
        text.clear();
    }
    void message_text(std::string_view piece) override {
        require(in_message && !piece.empty() && piece.size() <= (std::size_t{1} << 20));
        text.append(piece);
    }
    bool end_message() override {
        require(in_message);
        in_message = false;
        require(text.empty() || text.ends_with("\r\n"));
        require(was_sent(input, text));
        // The transaction is over: a second DATA must not deliver it again.
        have_sender = false;
        have_recipient = false;
        return true;
    }
    void abort_message() override { in_message = false; }
    bool accept_login(const std::string& user, const std::string& password) override {
        return user == "u" && password == "p";
    }
    std::optional<std::string> login_secret(const std::string& user) override {
        return user == "u" ? std::optional<std::string>("p") : std::nullopt;
    }

private:
    std::string_view input;
    bool have_sender = false;
    bool have_recipient = false;
    bool in_message = false;
    std::string text;
};

// A reply to a command line quotes at most 400 bytes of it.
constexpr std::size_t max_syntax_reply = 512;

void check_replies(const std::string& output) {
    std::size_t at = 0;
    while (at < output.size()) {
        std::size_t end = output.find("\r\n", at);
        require(end != std::string::npos);  // every reply ends with CR LF
        std::string_view line(output.data() + at, end - at);
        require(line.size() >= 4);
        for (std::size_t i = 0; i < 3; ++i) require(line[i] >= '0' && line[i] <= '9');
        require(line[3] == ' ' || line[3] == '-');
        require(line.find_first_of("\r\n") == std::string_view::npos);
        require(!line.starts_with("500 ") || line.size() <= max_syntax_reply);
        at = end + 2;
    }
}

// One listener for the whole run; each input gets a connection of its own.
struct loopback {
    loopback() {
        address = ip4("127.0.0.1", 0);
        listener.open(address);
        listener.bind(address);
        listener.listen();
        listener.local_address(address);
    }
    corvid::internet::environment::startup network;
    raw listener;
    ip4 address;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    static loopback socket_pair;
    const unsigned steer = data[0];
    const unsigned piece = steer & 0x0f;
    const std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);

    raw client;
    client.open(socket_pair.address);
    client.connect(socket_pair.address);
    replay_stream stream(input, piece * piece);
    stream.accept(socket_pair.listener);

    checking_handler handler(input);
    handler.max_size = (steer & 0x20) != 0 ? 32 : 0;
    handler.max_hops = (steer & 0x40) != 0 ? 2 : 8;
    handler.offer_login = (steer & 0x10) != 0;
    handler.plaintext_login = (steer & 0x80) != 0;

    try {
        smtp::agent("Fuzz.Example").serve(stream, handler);
    } catch (const corvid::exception&) {
    } catch (const std::bad_alloc&) {
    }
    check_replies(stream.sent);
    return 0;
}
