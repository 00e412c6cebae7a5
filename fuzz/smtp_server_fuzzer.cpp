// Plays arbitrary bytes as the client's side of an SMTP session served by
// agent::serve. The first byte steers how the rest is cut into receives, the
// size limit, the line limit and the hop limit. A handler throws refusals
// whose text comes from the input, so that a malformed one must be caught
// before it reaches the wire. The stream has no socket, so a session that
// gets as far as needing the peer's address ends there with a transport
// error. Every reply line must be three digits and a space or "-", with no
// stray CR or LF, and a syntax-error reply must stay short; anything else,
// a crash, a sanitizer report, a hang or an escaping std exception is a
// finding.

#include <corvid/exception.h>
#include <corvid/internet/smtp/agent.h>
#include "replay_stream.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <string>
#include <string_view>

namespace {

namespace smtp = corvid::internet::smtp;

using corvid::fuzz::replay_stream;


// Recipients that start with a digit are refused with their own text as the
// reply, well-formed or not.
class refusing_handler : public smtp::accept_handler {
public:
    bool accept_recipient(const std::string& address) override {
        if (!address.empty() && address[0] >= '0' && address[0] <= '9') throw smtp::refused(address);
        return accept_handler::accept_recipient(address);
    }
};

// A reply to a command line quotes at most 400 bytes of it.
constexpr std::size_t max_syntax_reply = 512;

void check_replies(const std::string& output) {
    std::size_t at = 0;
    while (at < output.size()) {
        std::size_t end = output.find("\r\n", at);
        if (end == std::string::npos) std::abort();  // every reply ends with CR LF
        std::string_view line(output.data() + at, end - at);
        if (line.size() < 4) std::abort();
        for (std::size_t i = 0; i < 3; ++i)
            if (line[i] < '0' || line[i] > '9') std::abort();
        if (line[3] != ' ' && line[3] != '-') std::abort();
        if (line.find_first_of("\r\n") != std::string_view::npos) std::abort();
        if (line.starts_with("500 ") && line.size() > max_syntax_reply) std::abort();
        at = end + 2;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const unsigned steer = data[0];
    const unsigned piece = steer & 0x0f;
    replay_stream stream(std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1), piece * piece);
    if ((steer & 0x10) != 0) stream.set_max_line_length(64);

    refusing_handler handler;
    handler.max_size = (steer & 0x20) != 0 ? 32 : 0;
    handler.max_hops = (steer & 0x40) != 0 ? 2 : 8;

    try {
        smtp::agent("Fuzz.Example").serve(stream, handler);
    } catch (const corvid::exception&) {
    } catch (const std::bad_alloc&) {
    }
    check_replies(stream.sent);
    return 0;
}
