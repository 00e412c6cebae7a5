// SPDX-License-Identifier: MIT
#ifndef CORVID_INTERNET_SMTP_WIRE_H
#define CORVID_INTERNET_SMTP_WIRE_H

#include <corvid/internet/smtp/errors.h>
#include <corvid/internet/transport/tcp/base.h>

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// How SMTP commands go out and replies come back over a TCP stream.
namespace corvid::internet::smtp {

// The texts of one reply: every line's text after its code and separator.
using reply_texts = std::vector<std::string>;

// A reply may have this many continuation lines before its last line.
inline constexpr std::size_t max_continuation_lines = 128;

// Reads one whole reply into texts (emptied first) and returns its code.
// Every line must be three digits and then a space, a hyphen or the line
// end, and all lines of one reply must carry the same code; anything else
// throws protocol_error. 4xx throws temporary_failure and 5xx
// permanent_failure, each carrying the last line. Transport failures pass
// unchanged.
int read_reply(transport::tcp::base& stream, reply_texts& texts);

// Returns code when it lies in [low, high]; else throws protocol_error
// naming the step and the reply ("Unexpected reply to DATA: 250 ok").
int expect_code(int code, int low, int high, std::string_view step, const reply_texts& texts);

// Writes line and CR LF, flushed, then reads the reply as read_reply does.
// A line holding CR or LF is refused with generic before anything is sent,
// since it would smuggle in a command of its own.
int command(transport::tcp::base& stream, std::string_view line, reply_texts& texts);

// The size of the pieces message text goes out in: at least one TLS
// record each, and few system calls for a large message.
inline constexpr std::size_t text_piece = 64 * 1024;

// The longest text line RFC 5321 lets a server relay, without its CR LF.
inline constexpr std::size_t max_text_line = 998;

// Sends message lines between the 354 reply and the end marker, a leading
// "." doubled, in pieces of text_piece bytes. Sends no end marker.
void send_text(transport::tcp::base& stream, const std::vector<std::string>& lines);

// The same for a whole message text whose lines end with CR LF (the last
// one may lack it; it is added). Each piece is bounded by the time-out on
// its own. The caller has checked the text with examine_text().
void send_text(transport::tcp::base& stream, std::string_view text);

// What a client must know of a message text before MAIL: 1-based line
// numbers (0 for none) of the first line holding a CR or LF that is not
// part of a CR LF pair and of the first line longer than max_text_line,
// whether any byte has its high bit set, and whether the header (the lines
// before the first empty one) has.
struct text_facts {
    std::size_t bare_line_break = 0;
    std::size_t long_line = 0;
    bool eight_bit = false;
    bool eight_bit_header = false;
};
text_facts examine_text(std::string_view text) noexcept;

// Whether text holds a CR or LF byte.
bool has_line_break(std::string_view text) noexcept;

// Bounds one exchange by the stream's receive time-out: while it lives,
// every receive and send of the stream must end within that time from its
// construction. A stream without a receive time-out is left unbounded. One
// made inside another keeps the earlier end and gives the outer one back.
class exchange_deadline {
public:
    explicit exchange_deadline(transport::tcp::base& stream) noexcept;
    // Bounds it by milliseconds (> 0) instead.
    exchange_deadline(transport::tcp::base& stream, int milliseconds) noexcept;
    ~exchange_deadline();
    exchange_deadline(const exchange_deadline&) = delete;
    exchange_deadline& operator=(const exchange_deadline&) = delete;

private:
    transport::tcp::base& stream;
    std::optional<transport::tcp::base::clock::time_point> outer;
};

}  // namespace corvid::internet::smtp

#endif
