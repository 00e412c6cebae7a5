// SPDX-License-Identifier: MIT
#include <corvid/internet/smtp/agent.h>

#include <corvid/coding/base64.h>
#include <corvid/coding/errors.h>
#include <corvid/domain_name.h>
#include <corvid/exception.h>
#include <corvid/format.h>
#include <corvid/rfc822_date.h>
#include <corvid/text.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <random>
#include <stdexcept>
#include <string_view>

namespace corvid::internet::smtp {

namespace {

using transport::tcp::base;

// A reply quotes at most this much of a command line, so that it stays one
// short line (RFC 5321 allows 512 octets) whatever the client sent.
constexpr std::size_t max_quote = 400;
// The longest command line, CR LF included (RFC 5321 4.5.3.1.4), and the
// longest answer to an AUTH challenge (RFC 4954 4).
constexpr std::size_t max_command_line = 512;
constexpr std::size_t max_auth_line = 12288;
// Message text goes to the handler in pieces of about this size.
constexpr std::size_t text_piece = 64 * 1024;
// A header line is looked at up to this length for the loop check.
constexpr std::size_t max_header_look = 1000;

std::string quote(std::string_view line) {
    std::string quoted = printable(line, "", max_quote);
    if (printable(line, "").size() > quoted.size()) quoted += "...";
    return quoted;
}

// A handler's own reply must look like one: a 4xx or 5xx code, a space, and
// nothing that would end the line.
bool is_refusal(std::string_view reply) {
    return reply.size() >= 4 && (reply[0] == '4' || reply[0] == '5') && all_digits(reply.substr(1, 2)) &&
           reply[3] == ' ' && reply.find_first_of("\r\n") == std::string_view::npos;
}

bool is_ascii(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// A greeting's name as the session keeps it: lower case, but an IPv6
// literal with its tag as RFC 5321 writes it, as the trace line has it.
std::string peer_name_of(std::string_view name) {
    std::string lowered = to_lower(std::string(name));
    if (lowered.starts_with("[ipv6:")) lowered.replace(1, 4, "IPv6");
    return lowered;
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

// Where a session stands. A transaction is mail and recipients; every way
// out of one (a message taken or refused, RSET, a new greeting, STARTTLS)
// goes back to identified through reset_transaction.
enum class phase { greeted, identified, mail, recipients };

// What MAIL asked for besides the path.
struct mail_parameters {
    std::uint64_t size = 0;
    bool smtputf8 = false;
};

// One incoming session; the agent's name and the handler stay fixed.
// Input arrives in large pieces and is cut into lines here; replies are
// gathered and sent together before the session waits for more input, so
// that pipelined commands cost one read and one write.
class session {
public:
    session(const std::string& own_name, base& stream, accept_handler& handler,
            const transport::tcp::tls_context* tls)
        : own_name(own_name), stream(&stream), handler(handler), tls(tls) {}

    void run();

private:
    // One line into line; false when it was too long (and answered). Ends
    // the session with connection_timed_out unless the whole line arrives
    // within the receive time-out.
    bool read_line(std::string& line, bool& cr_lf, std::size_t limit);
    void receive_more();
    void reply(std::string_view text) { output.append(text).append("\r\n"); }
    void send_replies();
    // Whether the handler asked to end the session; if so, ends it.
    bool ended();

    // False once the session has ended.
    bool answer(const std::string& line, bool cr_lf);
    void greet(std::string_view verb, std::string_view name);
    void mail(const std::string& line);
    void recipient(const std::string& line);
    bool receive_message(bool after_cr_lf);
    bool authenticate(std::string_view rest);
    // The decoded answer to a challenge; false when the client cancelled or
    // sent no base64 (answered).
    bool challenge(const std::string& text, std::string& response);
    bool decode(const std::string& text, std::string& response);
    // Why AUTH cannot be taken now, or nullptr.
    const char* login_refusal() const;
    void start_tls(std::string_view rest);
    void reset_transaction();
    std::string trace_line();
    // Asks for both ends' address literals, once.
    void learn_addresses();

    const std::string& own_name;
    base* stream;  // the plain stream, or the TLS stream once STARTTLS is done
    accept_handler& handler;
    const transport::tcp::tls_context* tls;
    std::unique_ptr<transport::tcp::tls> secured;

    std::string input;
    std::size_t parsed = 0;  // input before this is used
    std::string output;

    phase state = phase::greeted;
    bool extended = false;  // greeted with EHLO
    std::string peer_name;
    // Both ends' address literals, asked for once.
    std::string peer_address, local_address;
    mail_parameters transaction;
    unsigned login_failures = 0;
};

void session::run() {
    reply(format("220 %s ESMTP Ready", own_name.c_str()));
    std::string line;
    for (;;) {
        line.clear();
        try {
            bool cr_lf = false;
            if (!read_line(line, cr_lf, max_command_line)) continue;
            if (!answer(line, cr_lf) || ended()) return;
        } catch (const base::connection_timed_out&) {
            // A 2xx code would announce success; 421 says the service closes
            // the channel (RFC 5321 4.2).
            output.clear();
            reply(format("421 4.4.2 %s Timed out", own_name.c_str()));
            send_replies();
            throw;
        } catch (const transport::generic&) {
            throw;
        } catch (const refused& e) {
            reply(is_refusal(e.message()) ? e.message() : "500 5.5.2 Syntax error: \"" + quote(line) + "\"");
            if (ended()) return;
        } catch (const std::exception&) {
            reply("500 5.5.2 Syntax error: \"" + quote(line) + "\"");
        }
    }
}

bool session::read_line(std::string& line, bool& cr_lf, std::size_t limit) {
    // The whole line must come within the time-out: a client that drips a
    // byte now and then cannot hold the session for ever. Checked after each
    // receive rather than with a deadline, which would cost a poll before
    // every receive: a dripping client is cut off at its next byte.
    const int timeout = stream->receive_timeout();
    const auto until = base::clock::now() + std::chrono::milliseconds(timeout);
    bool too_long = false;
    for (;;) {
        const std::size_t lf = input.find('\n', parsed);
        if (lf == std::string::npos) {
            // What cannot be a line is dropped as it comes.
            if (input.size() - parsed > limit) {
                too_long = true;
                input.erase(parsed);
            }
            if (timeout > 0 && input.size() > parsed && base::clock::now() > until)
                throw base::connection_timed_out("recv() failed");
            receive_more();
            continue;
        }
        const std::size_t start = parsed;
        parsed = lf + 1;
        if (too_long || lf + 1 - start > limit) {
            reply("500 5.5.2 Line too long");
            return false;
        }
        cr_lf = lf > start && input[lf - 1] == '\r';
        line.assign(input, start, lf - start - (cr_lf ? 1 : 0));
        return true;
    }
}

bool session::ended() {
    switch (handler.end_session) {
    case accept_handler::ending::none:
        return false;
    case accept_handler::ending::without_reply:
        output.clear();
        break;
    case accept_handler::ending::after_reply:
        send_replies();
        break;
    }
    stream->shutdown();
    return true;
}

void session::receive_more() {
    send_replies();
    input.erase(0, parsed);
    parsed = 0;
    stream->read_some(input);
}

void session::send_replies() {
    if (output.empty()) return;
    stream->write(output, true);
    output.clear();
}

bool session::answer(const std::string& line, bool cr_lf) {
    if (!handler.accept_command(line)) throw std::invalid_argument("command refused");
    std::size_t verb_end = std::min(line.find(' '), line.size());
    std::string verb = to_lower(line.substr(0, verb_end));

    if (verb == "ehlo" || verb == "helo") {
        std::string_view name = argument(line, verb_end);
        greet(verb, name.substr(0, name.find_last_not_of(' ') + 1));
    } else if (verb == "mail") {
        mail(line);
    } else if (verb == "rcpt") {
        recipient(line);
    } else if (verb == "data") {
        if (state < phase::mail) {
            reply("503 5.5.1 Need MAIL command first");
        } else if (state == phase::mail) {
            reply("503 5.5.1 Need recipient before data (RCPT TO:)");
        } else {
            return receive_message(cr_lf);
        }
    } else if (verb == "auth") {
        return authenticate(argument(line, verb_end));
    } else if (verb == "starttls" && tls) {
        start_tls(argument(line, verb_end));
    } else if (verb == "quit") {
        reply(format("221 2.0.0 %s Bye", own_name.c_str()));
        send_replies();
        stream->shutdown();
        return false;
    } else if (verb == "rset") {
        reset_transaction();
        reply("250 2.0.0 Session reset");
    } else if (verb == "vrfy") {
        reply("252 2.0.0 Deferred");
    } else if (verb == "noop") {
        reply("250 2.0.0 OK");
    } else if (verb == "help") {
        reply("214-2.0.0 These verbs are implemented:");
        reply(std::string("214-2.0.0   AUTH DATA EHLO HELO HELP MAIL NOOP RCPT RSET QUIT ") +
              (tls ? "STARTTLS " : "") + "VRFY");
        reply("214-2.0.0 Not implemented:");
        reply("214 2.0.0   EXPN");
    } else if (verb == "expn") {
        reply("502 5.5.1 Not implemented");
    } else {
        throw exception("Syntax error");
    }
    return true;
}

void session::greet(std::string_view verb, std::string_view name) {
    // The name goes into the trace line: only a domain or an address literal
    // may stand there, or a client could write trace fields of its own. A
    // client that gives none is named by the address it comes from.
    if (name.empty()) {
        learn_addresses();
        name = peer_address;
    } else if (!is_domain(name) && !is_address_literal(name)) {
        reply("501 5.5.4 Invalid domain name (a domain or an address literal, e.g. [192.0.2.7])");
        return;
    }
    peer_name = peer_name_of(name);
    reset_transaction();
    state = phase::identified;
    extended = verb == "ehlo";
    if (!extended) {
        reply(format("250 %s Hello %s", own_name.c_str(), peer_name.c_str()));
        return;
    }
    reply(format("250-%s Hello %s", own_name.c_str(), peer_name.c_str()));
    reply("250-PIPELINING");
    reply("250-8BITMIME");
    if (handler.max_size != 0) reply(format("250-SIZE %u", handler.max_size));
    if (tls && !secured) reply("250-STARTTLS");
    if (handler.offer_login)
        reply(secured || handler.plaintext_login ? "250-AUTH CRAM-MD5 PLAIN LOGIN" : "250-AUTH CRAM-MD5");
    reply("250-ENHANCEDSTATUSCODES");
    reply("250-SMTPUTF8");
    reply("250 HELP");
}

void session::mail(const std::string& line) {
    std::string_view rest = argument(line, 4);
    if (!iequals(rest.substr(0, rest.find(':')), "from")) throw exception("Bad syntax (MAIL FROM:)");
    if (state == phase::greeted) return reply("503 5.5.1 Please identify yourself first (HELO or EHLO)");
    if (state != phase::identified) return reply("503 5.5.1 Sender already specified");
    if (handler.require_login && handler.user.empty()) return reply("530 5.7.0 Authentication required");
    // ESMTP parameters after the path (SIZE=...) are not part of it.
    std::string_view path = line, parameters;
    if (std::size_t close = path.find('>'); close != std::string_view::npos) {
        parameters = argument(path, close + 1);
        path = path.substr(0, close + 1);
    }
    mail_parameters asked;
    for (std::size_t at = 0; at < parameters.size();) {
        std::size_t end = std::min(parameters.find(' ', at), parameters.size());
        const std::string word = to_upper(std::string(parameters.substr(at, end - at)));
        at = end + 1;
        if (word.empty()) continue;
        if (word.starts_with("SIZE=") && all_digits(word.substr(5)) && word.size() > 5) {
            asked.size = leading_decimal<std::uint64_t>(word.substr(5));
        } else if (word == "BODY=7BIT" || word == "BODY=8BITMIME") {
        } else if (word == "SMTPUTF8") {
            asked.smtputf8 = true;
        } else if (!word.starts_with("AUTH=")) {
            return reply("555 5.5.4 Unsupported parameter: " + quote(word));
        }
    }
    // RFC 1870 6.3: a declared size above the limit is refused at once.
    if (handler.max_size != 0 && asked.size > handler.max_size)
        return reply("552 5.3.4 Message size exceeds fixed limit");
    const std::string address = extract_address(path);
    if (!asked.smtputf8 && !is_ascii(address)) return reply("553 5.6.7 Non-ASCII address requires SMTPUTF8");
    handler.reset();
    if (!handler.accept_sender(address)) return reply("550 5.7.1 Rejected");
    state = phase::mail;
    transaction = asked;
    reply("250 2.1.0 OK");
}

void session::recipient(const std::string& line) {
    std::string_view rest = argument(line, 4);
    if (!iequals(rest.substr(0, rest.find(':')), "to")) throw exception("Bad syntax (RCPT TO:)");
    if (state < phase::mail) return reply("503 5.5.1 Need MAIL command first");
    const std::string address = extract_address(line);
    if (!transaction.smtputf8 && !is_ascii(address)) return reply("553 5.6.7 Non-ASCII address requires SMTPUTF8");
    if (!handler.accept_recipient(address)) return reply("550 5.7.1 Rejected");
    state = phase::recipients;
    reply("250 2.1.5 OK");
}

void session::reset_transaction() {
    handler.reset();
    transaction = {};
    if (state > phase::identified) state = phase::identified;
}

void session::learn_addresses() {
    if (!peer_address.empty()) return;
    address::endpoint peer, local;
    stream->peer_address(peer);
    stream->local_address(local);
    peer_address = address::literal(peer);
    local_address = address::literal(local);
}

std::string session::trace_line() {
    learn_addresses();
    // RFC 3848: ESMTP, with S for TLS and A for a login.
    std::string with = extended ? "ESMTP" : "SMTP";
    if (dynamic_cast<const transport::tcp::tls*>(stream)) with += 'S';  // after STARTTLS, or TLS from the start
    if (!handler.user.empty()) with += 'A';
    return format("Received: from %s (%s) by %s (%s) with %s; %s", peer_name.c_str(), peer_address.c_str(),
                  own_name.c_str(), local_address.c_str(), with.c_str(),
                  rfc822_date(static_cast<std::int64_t>(std::time(nullptr))).c_str());
}

bool session::receive_message(bool after_cr_lf) {
    reply("354 Go Ahead");
    std::uint64_t size = 0;
    bool over = false;    // past the size limit: the rest is read and dropped
    bool failed = false;  // the handler threw: the rest is read and dropped
    // The loop check reads the header lines.
    bool in_headers = true;
    std::string header;
    unsigned hops = 0;
    const std::string mark = "by " + to_lower(own_name);
    std::string piece;

    const auto hand_over = [&] {
        if (piece.empty()) return;
        try {
            if (!over && !failed) handler.message_text(piece);
        } catch (const std::exception&) {
            failed = true;
        }
        piece.clear();
    };
    const auto take = [&](std::string_view text) {
        size += text.size();
        if (handler.max_size != 0 && size > handler.max_size) over = true;
        for (std::size_t i = 0; in_headers && i < text.size(); ++i) {
            if (text[i] != '\n') {
                if (header.size() < max_header_look) header += text[i];
                continue;
            }
            if (!header.empty() && header.back() == '\r') header.pop_back();
            if (header.empty()) in_headers = false;
            if (to_lower(std::move(header)).find(mark) != std::string::npos) ++hops;
            header.clear();
        }
        if (over || failed) return;
        piece.append(text);
        if (piece.size() >= text_piece) hand_over();
    };

    try {
        try {
            handler.begin_message(trace_line());
        } catch (const std::exception&) {
            failed = true;
        }
        // The text ends only at "." between two CR LF pairs, the first of
        // them possibly that of the DATA line; a bare CR or LF is text. A
        // relay that passes bare line ends would otherwise let a sender end
        // the message early and have what follows read as commands: a
        // second, forged message.
        bool line_start = after_cr_lf;
        for (;;) {
            std::string_view rest(input.data() + parsed, input.size() - parsed);
            if (line_start) {
                if (rest.size() < 3 && std::string_view(".\r\n").starts_with(rest)) {
                    receive_more();
                    continue;
                }
                if (rest.starts_with(".\r\n")) {
                    parsed += 3;
                    break;
                }
                if (rest.front() == '.') {  // the quoting dot
                    ++parsed;
                    rest.remove_prefix(1);
                }
                line_start = false;
            }
            // Everything up to the next line that starts with a dot goes in
            // one piece; a last CR waits for what follows it.
            if (const std::size_t dot = rest.find("\r\n."); dot != std::string_view::npos) {
                take(rest.substr(0, dot + 2));
                parsed += dot + 2;
                line_start = true;
                continue;
            }
            std::size_t taken = rest.size();
            if (rest.ends_with("\r\n"))
                line_start = true;
            else if (rest.ends_with('\r'))
                --taken;
            take(rest.substr(0, taken));
            parsed += taken;
            if (!line_start) receive_more();
        }
        hand_over();
    } catch (...) {
        handler.abort_message();
        throw;
    }

    if (over || (handler.max_hops != 0 && hops >= handler.max_hops)) {
        handler.abort_message();
        reply(over ? format("552 5.3.4 Rejected (size limit is %u bytes)", handler.max_size)
                   : std::string("554 5.4.6 Rejected (loop detected)"));
        send_replies();
        return false;
    }
    std::string verdict;
    if (failed) {
        handler.abort_message();
    } else {
        try {
            if (handler.end_message())
                verdict = format("250 2.0.0 OK (%llu bytes)", static_cast<unsigned long long>(size));
        } catch (const refused& e) {
            if (is_refusal(e.message())) verdict = e.message();
        } catch (const std::exception&) {
        }
    }
    // A fault here is the server's, and may pass: the client tries again
    // later rather than bouncing the mail.
    reply(verdict.empty() ? "451 4.3.0 Rejected (local processing)" : verdict);
    reset_transaction();
    return true;
}

bool session::decode(const std::string& text, std::string& response) {
    try {
        response = text == "=" ? std::string() : coding::base64_decode(text, true);  // "=": empty
        return true;
    } catch (const coding::translate::generic&) {
        reply("501 5.5.2 Cannot decode response");
        return false;
    }
}

bool session::challenge(const std::string& text, std::string& response) {
    reply("334 " + text);
    std::string line;
    bool cr_lf = false;
    if (!read_line(line, cr_lf, max_auth_line)) return false;
    if (line == "*") {
        reply("501 5.7.0 Authentication cancelled");
        return false;
    }
    return decode(line, response);
}

const char* session::login_refusal() const {
    if (!handler.offer_login) return "502 5.5.1 Not implemented";
    if (state == phase::greeted) return "503 5.5.1 Please identify yourself first (EHLO)";
    if (!handler.user.empty()) return "503 5.5.1 Already authenticated";
    if (state != phase::identified) return "503 5.5.1 Not during a mail transaction";
    return nullptr;
}

bool session::authenticate(std::string_view rest) {
    if (const char* refusal = login_refusal()) {
        reply(refusal);
        return true;
    }
    const std::size_t space = std::min(rest.find(' '), rest.size());
    const std::string mechanism = to_upper(std::string(rest.substr(0, space)));
    const std::string initial(argument(rest, space));
    if ((mechanism == "PLAIN" || mechanism == "LOGIN") && !secured && !handler.plaintext_login) {
        reply("538 5.7.11 Encryption required for requested authentication mechanism");
        return true;
    }
    std::string user;
    bool valid = false;
    std::string response;
    if (mechanism == "PLAIN") {
        if (initial.empty() ? !challenge("", response) : !decode(initial, response)) return true;
        // authorization identity, NUL, user, NUL, password
        const std::size_t first = response.find('\0'), second = response.find('\0', first + 1);
        if (first != std::string::npos && second != std::string::npos) {
            user = response.substr(first + 1, second - first - 1);
            valid = handler.accept_login(user, response.substr(second + 1));
        }
    } else if (mechanism == "LOGIN") {
        if (initial.empty() ? !challenge(coding::base64_encode("Username:", true), response)
                            : !decode(initial, response))
            return true;
        user = response;
        if (!challenge(coding::base64_encode("Password:", true), response)) return true;
        valid = handler.accept_login(user, response);
    } else if (mechanism == "CRAM-MD5") {
        std::random_device random;
        const std::string text = format("<%u.%lld@%s>", random(), static_cast<long long>(std::time(nullptr)),
                                        own_name.c_str());
        if (!challenge(coding::base64_encode(text, true), response)) return true;
        const std::size_t last = response.rfind(' ');
        if (last != std::string::npos) {
            user = response.substr(0, last);
            valid = handler.accept_cram_md5(user, text, response.substr(last + 1));
        }
    } else {
        reply("504 5.5.4 Unrecognized authentication type");
        return true;
    }
    if (valid) {
        handler.user = user;
        reply("235 2.7.0 Authentication successful");
        return true;
    }
    if (++login_failures >= handler.max_login_failures) {
        reply(format("421 4.7.0 %s Too many failed logins", own_name.c_str()));
        send_replies();
        return false;
    }
    reply("535 5.7.8 Authentication credentials invalid");
    return true;
}

void session::start_tls(std::string_view rest) {
    if (!rest.empty()) return reply("501 5.5.4 Syntax error (no parameters allowed)");
    if (secured) return reply("503 5.5.1 TLS already active");
    reply("220 2.0.0 Ready to start TLS");
    send_replies();
    // Commands a client wrote behind STARTTLS in the same send arrived as
    // plaintext; acting on them inside TLS would let anyone on the path add
    // commands to the protected session.
    input.clear();
    parsed = 0;
    stream->discard_input();
    secured = std::make_unique<transport::tcp::tls>(*stream, *tls);
    stream = secured.get();
    // What was said before TLS counts for nothing: the client introduces
    // itself again, and logs in again.
    peer_name.clear();
    reset_transaction();
    state = phase::greeted;
    handler.user.clear();
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
