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

// Reads one whole reply into texts (emptied first) and returns the code of
// its last line. Only the last line is classified: 4xx throws
// temporary_failure and 5xx permanent_failure, each carrying that line; a
// malformed reply throws generic. Transport failures pass unchanged.
int read_reply(transport::tcp::base& stream, reply_texts& texts);

// Writes line and CR LF, flushed, then reads the reply as read_reply does.
// A line holding CR or LF is refused with generic before anything is sent,
// since it would smuggle in a command of its own.
int command(transport::tcp::base& stream, std::string_view line, reply_texts& texts);

// Sends message lines between the 354 reply and the end marker, each
// flushed, a leading "." doubled. Sends no end marker.
void send_text(transport::tcp::base& stream, const std::vector<std::string>& lines);

// The same for a whole message text whose lines end with CR LF (the last
// one may lack it; it is added). The text goes out in large pieces, each
// bounded by the time-out on its own, so a large message costs few writes.
// The caller has checked it with bare_line_break().
void send_text(transport::tcp::base& stream, std::string_view text);

// Whether text holds a CR or LF byte.
bool has_line_break(std::string_view text) noexcept;

// The 1-based number of the first line of text that holds a CR or LF not
// part of a CR LF pair, or 0 when there is none.
std::size_t bare_line_break(std::string_view text) noexcept;

// Bounds one exchange by the stream's receive time-out: while it lives,
// every receive and send of the stream must end within that time from its
// construction. A stream without a receive time-out is left unbounded. One
// made inside another keeps the earlier end and gives the outer one back.
class exchange_deadline {
public:
    explicit exchange_deadline(transport::tcp::base& stream) noexcept;
    ~exchange_deadline();
    exchange_deadline(const exchange_deadline&) = delete;
    exchange_deadline& operator=(const exchange_deadline&) = delete;

private:
    transport::tcp::base& stream;
    std::optional<transport::tcp::base::clock::time_point> outer;
};

}  // namespace corvid::internet::smtp

#endif
