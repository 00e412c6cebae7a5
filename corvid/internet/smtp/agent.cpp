#include <corvid/internet/smtp/agent.h>

#include <corvid/format.h>
#include <corvid/internet/transport/tcp/raw.h>
#include <corvid/text.h>

#include <algorithm>
#include <climits>
#include <exception>
#include <functional>

namespace corvid::internet::smtp {

namespace {

// Text that goes into a command line must not end it: a CR or LF would let
// the caller's data start a command of its own.
void refuse_line_break(std::string_view text, const char* what) {
    if (has_line_break(text)) throw generic(format("CR or LF in %s", what));
}

void refuse_line_breaks(const std::vector<std::string>& lines) {
    for (std::size_t i = 0; i < lines.size(); ++i)
        if (has_line_break(lines[i])) throw generic(format("CR or LF in message line %zu", i + 1));
}

}  // namespace

agent::agent(std::string own_name) : own_name(std::move(own_name)) {}

void agent::send(const address::ip4& endpoint, const std::string& recipient, const std::string& sender,
                 const std::vector<std::string>& lines, int timeout_seconds) const {
    // Everything is checked before the connection is made, so a refused
    // argument leaves no half-open session behind.
    refuse_line_break(own_name, "own host name");
    refuse_line_break(sender, "sender address");
    refuse_line_break(recipient, "recipient address");
    refuse_line_breaks(lines);

    const auto stream = connect(endpoint, timeout_seconds);
    reply_texts texts;
    hello(*stream, texts);
    transact(*stream, recipient, sender, lines);
}

std::unique_ptr<transport::tcp::base> agent::connect(const address::ip4& endpoint, int timeout_seconds) {
    const int milliseconds = std::max(0, std::min(timeout_seconds, INT_MAX / 1000)) * 1000;
    auto stream = std::make_unique<transport::tcp::raw>();
    stream->open(endpoint);
    if (milliseconds > 0)
        stream->connect(endpoint, milliseconds);
    else
        stream->connect(endpoint);
    stream->set_receive_timeout(milliseconds);
    return stream;
}

std::unique_ptr<transport::tcp::base> agent::connect(const std::vector<address::endpoint>& endpoints,
                                                     int timeout_seconds) {
    const int milliseconds = std::max(0, std::min(timeout_seconds, INT_MAX / 1000)) * 1000;
    auto stream = std::make_unique<transport::tcp::raw>();
    stream->connect(endpoints, milliseconds);
    stream->set_receive_timeout(milliseconds);
    return stream;
}

void agent::hello(transport::tcp::base& stream, reply_texts& texts) const {
    refuse_line_break(own_name, "own host name");
    {
        reply_texts greeting;
        exchange_deadline bound(stream);
        read_reply(stream, greeting);
    }
    introduce(stream, texts);
}

void agent::introduce(transport::tcp::base& stream, reply_texts& texts) const {
    try {
        command(stream, "EHLO " + own_name, texts);
    } catch (const permanent_failure&) {
        // Only a server that refuses EHLO outright may still know HELO; a 4xx
        // reply means it is not ready for either.
        command(stream, "HELO " + own_name, texts);
    }
}

bool agent::offers(const reply_texts& texts, std::string_view extension) {
    // The first text is the greeting line of the EHLO reply; each other one
    // is an extension keyword, perhaps with parameters after a space.
    for (std::size_t i = 1; i < texts.size(); ++i) {
        const std::string_view keyword = std::string_view(texts[i]).substr(0, texts[i].find(' '));
        if (iequals(keyword, extension)) return true;
    }
    return false;
}

std::unique_ptr<transport::tcp::tls> agent::starttls(transport::tcp::base& stream,
                                                     const transport::tcp::tls_context& context,
                                                     const std::string& server_name, reply_texts& texts) const {
    if (!offers(texts, "STARTTLS")) return nullptr;
    reply_texts ready;
    if (command(stream, "STARTTLS", ready) != 220)
        throw generic(format("STARTTLS answered with %s", ready.empty() ? "nothing" : ready.back().c_str()));
    // Bytes after the 220 came before the handshake: no server sends them
    // honestly, and taking them as replies inside TLS is the injection that
    // STARTTLS invites.
    stream.discard_input();
    auto secured = std::make_unique<transport::tcp::tls>(stream, context, server_name);
    introduce(*secured, texts);
    return secured;
}

void agent::transact(transport::tcp::base& stream, const std::string& recipient, const std::string& sender,
                     const std::vector<std::string>& lines) const {
    refuse_line_breaks(lines);
    transaction(stream, recipient, sender, [&] { send_text(stream, lines); });
}

void agent::transact_text(transport::tcp::base& stream, const std::string& recipient, const std::string& sender,
                          std::string_view text) const {
    if (const std::size_t line = bare_line_break(text))
        throw generic(format("CR or LF alone in message line %zu", line));
    transaction(stream, recipient, sender, [&] { send_text(stream, text); });
}

void agent::transaction(transport::tcp::base& stream, const std::string& recipient, const std::string& sender,
                        const std::function<void()>& send_message) const {
    refuse_line_break(sender, "sender address");
    refuse_line_break(recipient, "recipient address");

    reply_texts texts;
    try {
        command(stream, "MAIL FROM: <" + sender + ">", texts);
        command(stream, "RCPT TO: <" + recipient + ">", texts);
        {
            // One bound for the whole wait, however many replies come first.
            exchange_deadline bound(stream);
            stream.write_line("DATA", true);
            while (read_reply(stream, texts) != 354) {
            }
        }
        send_message();
        command(stream, ".", texts);
    } catch (const transport::generic& e) {
        // The transport's failure stays reachable (std::rethrow_if_nested)
        // for callers that tell a time-out from a refused connection.
        std::throw_with_nested(temporary_failure(e.message()));
    }
    try {
        command(stream, "QUIT", texts);
    } catch (const transport::generic& e) {
        // The server has taken the message; it may well be delivered.
        std::throw_with_nested(unreliable_delivery(e.message()));
    } catch (const generic& e) {
        // Whatever the server says to QUIT, it has taken the message: an
        // error here must not make the caller send it twice.
        std::throw_with_nested(unreliable_delivery(e.message()));
    }
}

}  // namespace corvid::internet::smtp
