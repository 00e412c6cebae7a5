#include <corvid/internet/smtp/agent.h>

#include <corvid/exception.h>
#include <corvid/format.h>
#include <corvid/rfc822_date.h>
#include <corvid/text.h>

#include <algorithm>
#include <cstdint>
#include <ctime>
#include <stdexcept>
#include <string_view>

namespace corvid::internet::smtp {

namespace {

using transport::tcp::base;

// A reply quotes at most this much of a command line, so that it stays one
// short line (RFC 5321 allows 512 octets) whatever the client sent.
constexpr std::size_t max_quote = 400;

std::string quote(std::string_view line) {
    std::string quoted(line.substr(0, max_quote));
    for (char& c : quoted)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
    if (line.size() > max_quote) quoted += "...";
    return quoted;
}

// A handler's own reply must look like one: a 4xx or 5xx code, a space, and
// nothing that would end the line.
bool is_refusal(std::string_view reply) {
    return reply.size() >= 4 && (reply[0] == '4' || reply[0] == '5') && all_digits(reply.substr(1, 2)) &&
           reply[3] == ' ' && reply.find_first_of("\r\n") == std::string_view::npos;
}

std::string numeric(const address::ip4& endpoint) { return endpoint.to_string(address::numeric_host); }

std::string peer_text(base& stream) {
    address::ip4 peer;
    stream.peer_address(peer);
    return numeric(peer);
}

// The text after the verb from its first non-space on.
std::string_view argument(std::string_view line, std::size_t verb_end) {
    std::size_t start = line.find_first_not_of(' ', verb_end);
    return start == std::string_view::npos ? std::string_view() : line.substr(start);
}

// The path of MAIL FROM and RCPT TO: inside the last angle brackets, else
// after the last space behind the colon, else the whole text (so that
// "RCPT TO:Alice" gives the whole line, not "to:alice").
std::string extract_address(std::string_view text) {
    std::string_view address = text;
    if (std::size_t open = text.rfind('<'); open != std::string_view::npos) {
        if (open + 1 < text.size()) address = text.substr(open + 1, text.find('>', open + 1) - open - 1);
    } else if (std::size_t space = text.rfind(' ');
               space != std::string_view::npos && space > text.find(':') && space + 1 < text.size()) {
        address = text.substr(space + 1);
    }
    return to_lower(std::string(address));
}

// One incoming session; the agent's name and the handler stay fixed.
class session {
public:
    session(const std::string& own_name, base& stream, accept_handler& handler,
            const transport::tcp::tls_context* tls)
        : own_name(own_name), stream(&stream), handler(handler), tls(tls) {}

    void run();

private:
    // False once the session has ended.
    bool answer(const std::string& line);
    bool receive_message();
    void start_tls(std::string_view rest);
    void reply(std::string_view text) { stream->write_line(text, true); }

    const std::string& own_name;
    base* stream;  // the plain stream, or the TLS stream once STARTTLS is done
    accept_handler& handler;
    const transport::tcp::tls_context* tls;
    std::unique_ptr<transport::tcp::tls> secured;
    std::string peer_name;
};

void session::run() {
    reply(format("220 %s ESMTP Ready", own_name.c_str()));
    std::string line;
    for (;;) {
        line.clear();
        try {
            try {
                stream->read_line(line);
            } catch (const base::line_too_long&) {
                stream->skip_line();
                reply("500 Line too long");
                continue;
            }
            if (!answer(line)) return;
        } catch (const base::connection_timed_out&) {
            reply(format("221 %s Timed out", own_name.c_str()));
            throw;
        } catch (const transport::generic&) {
            throw;
        } catch (const refused& e) {
            reply(is_refusal(e.message()) ? e.message() : "500 Syntax error: \"" + quote(line) + "\"");
        } catch (const std::exception&) {
            reply("500 Syntax error: \"" + quote(line) + "\"");
        }
    }
}

bool session::answer(const std::string& line) {
    if (!handler.accept_command(line)) throw std::invalid_argument("command refused");
    std::size_t verb_end = std::min(line.find(' '), line.size());
    std::string verb = to_lower(line.substr(0, verb_end));

    if (verb == "ehlo" || verb == "helo") {
        std::string_view name = argument(line, verb_end);
        peer_name = name.empty() ? peer_text(*stream) : to_lower(std::string(name));
        handler.reset();
        // The name is echoed bounded, like a quoted command line.
        std::string shown = quote(peer_name);
        if (verb == "helo") {
            reply(format("250 %s Hello %s", own_name.c_str(), shown.c_str()));
            return true;
        }
        // One send for the whole reply; the bytes are those of a flushed
        // write per line.
        stream->write_line(format("250-%s Hello %s", own_name.c_str(), shown.c_str()), false);
        stream->write_line("250-PIPELINING", false);
        stream->write_line("250-8BITMIME", false);
        if (handler.max_size != 0) stream->write_line(format("250-SIZE %u", handler.max_size), false);
        if (tls && !secured) stream->write_line("250-STARTTLS", false);
        reply("250 HELP");
        return true;
    }
    if (verb == "mail" || verb == "rcpt") {
        std::string_view rest = argument(line, verb_end);
        std::string keyword = to_lower(std::string(rest.substr(0, rest.find(':'))));
        if (keyword != (verb == "mail" ? "from" : "to")) throw exception("Bad syntax (MAIL FROM: or RCPT TO:)");
        if (verb == "rcpt") {
            reply(handler.accept_recipient(extract_address(line)) ? "250 OK" : "550 Rejected");
            return true;
        }
        if (peer_name.empty()) {
            reply("503 Please identify yourself first (HELO or EHLO)");
            return true;
        }
        // ESMTP parameters after the path (SIZE=...) are not part of it.
        std::string_view path = line;
        if (std::size_t close = path.find('>'); close != std::string_view::npos)
            path = path.substr(0, path.find_first_not_of('>', close));
        handler.reset();
        reply(handler.accept_sender(extract_address(path)) ? "250 OK" : "550 Rejected");
        return true;
    }
    if (verb == "data") {
        if (handler.recipients.empty()) {
            reply("503 Need recipient before data (RCPT TO:)");
            return true;
        }
        return receive_message();
    }
    if (verb == "starttls" && tls) {
        start_tls(argument(line, verb_end));
        return true;
    }
    if (verb == "quit") {
        reply(format("221 %s Bye", own_name.c_str()));
        stream->shutdown();
        return false;
    }
    if (verb == "rset") {
        handler.reset();
        reply("250 Session reset");
    } else if (verb == "vrfy") {
        reply("252 Deferred");
    } else if (verb == "noop") {
        reply("250 OK");
    } else if (verb == "help") {
        stream->write_line("214-These verbs are implemented:", false);
        stream->write_line("214-  DATA EHLO HELO HELP MAIL NOOP RCPT RSET QUIT VRFY", false);
        stream->write_line("214-Not implemented:", false);
        reply("214   EXPN");
    } else if (verb == "expn") {
        reply("502 Not implemented");
    } else {
        throw exception("Syntax error");
    }
    return true;
}

void session::start_tls(std::string_view rest) {
    if (!rest.empty()) return reply("501 Syntax error (no parameters allowed)");
    if (secured) return reply("503 TLS already active");
    reply("220 Ready to start TLS");
    // Commands a client wrote behind STARTTLS in the same send arrived as
    // plaintext; acting on them inside TLS would let anyone on the path add
    // commands to the protected session.
    stream->discard_input();
    secured = std::make_unique<transport::tcp::tls>(*stream, *tls);
    stream = secured.get();
    // What was said before TLS counts for nothing: the client introduces
    // itself again.
    peer_name.clear();
    handler.reset();
}

bool session::receive_message() {
    reply("354 Go Ahead");
    std::vector<std::string> lines;
    std::uint64_t size = 0;
    bool too_long = false;
    // The text ends only at "." between two CR LF pairs, the first of them
    // possibly that of the DATA line. A relay that passes bare CR or LF
    // would otherwise let a sender end the message early and have what
    // follows read as commands: a second, forged message.
    bool after_cr_lf = stream->settle_line_end() == line_end::cr_lf;
    std::string line;
    for (;;) {
        line_end end = line_end::none;
        try {
            stream->read_line(line, end);
        } catch (const base::line_too_long&) {
            stream->skip_line();
            too_long = true;
            after_cr_lf = stream->settle_line_end() == line_end::cr_lf;
            continue;
        }
        bool ends_with_cr_lf = end == line_end::cr_lf;
        if (line == "." && after_cr_lf && ends_with_cr_lf) break;
        after_cr_lf = ends_with_cr_lf;
        // A lone "." that does not end the text stays as it came.
        if (line.size() > 1 && line[0] == '.') line.erase(0, 1);
        if (handler.max_size == 0 || size < handler.max_size) lines.push_back(line);
        size += line.size();
    }
    if (too_long) {
        reply("500 Line too long");
        return true;
    }
    if (handler.max_size != 0 && size > handler.max_size) {
        reply(format("552 Rejected (size limit is %u bytes)", handler.max_size));
        return false;
    }
    if (handler.max_hops != 0) {
        std::string mark = "by " + to_lower(own_name);
        unsigned hops = 0;
        for (const std::string& l : lines) {
            if (l.empty()) break;
            if (to_lower(l).find(mark) != std::string::npos) ++hops;
        }
        if (hops >= handler.max_hops) {
            reply("554 Rejected (loop detected)");
            return false;
        }
    }
    address::ip4 local;
    stream->local_address(local);
    lines.insert(lines.begin(), format("Received: from %s [%s] by %s [%s] with %s; %s", peer_name.c_str(),
                                       peer_text(*stream).c_str(), own_name.c_str(), numeric(local).c_str(),
                                       dynamic_cast<const transport::tcp::tls*>(stream) ? "ESMTPS" : "ESMTP",
                                       rfc822_date(static_cast<std::int64_t>(std::time(nullptr))).c_str()));
    bool taken = handler.accept_message(lines);
    reply(taken ? format("250 OK (%llu bytes)", static_cast<unsigned long long>(size))
                : std::string("451 Rejected (local processing)"));
    return true;
}

}  // namespace

void agent::serve(base& stream, accept_handler& handler) const {
    session(own_name, stream, handler, nullptr).run();
}

void agent::serve(base& stream, accept_handler& handler, const transport::tcp::tls_context& tls) const {
    session(own_name, stream, handler, &tls).run();
}

void agent::refuse(base& stream, const std::string& reason) const {
    try {
        stream.write_line(format("421 %s ESMTP %s", own_name.c_str(), reason.c_str()), true);
    } catch (const base::connection_failed&) {
        // Turning the peer away is all that was meant; a dropped peer is gone.
    }
}

}  // namespace corvid::internet::smtp
