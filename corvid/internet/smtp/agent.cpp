// SPDX-License-Identifier: MIT
#include <corvid/internet/smtp/agent.h>

#include <corvid/format.h>
#include <corvid/internet/transport/tcp/raw.h>
#include <corvid/text.h>

#include <algorithm>
#include <climits>
#include <exception>

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

bool is_ascii(std::string_view text) noexcept {
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// The envelope and the text as the transaction will send them: refused
// here, before anything is sent, when they would break the session or be
// broken by a relay.
text_facts check_mail(const envelope& mail, std::string_view text) {
    refuse_line_break(mail.sender, "sender address");
    if (mail.recipients.empty()) throw generic("no recipient");
    for (const std::string& recipient : mail.recipients) refuse_line_break(recipient, "recipient address");
    const text_facts facts = examine_text(text);
    if (facts.bare_line_break != 0) throw generic(format("CR or LF alone in message line %zu", facts.bare_line_break));
    // Relays cut such a line, or refuse the message after it was taken.
    if (facts.long_line != 0)
        throw generic(format("message line %zu is longer than %zu octets", facts.long_line, max_text_line));
    return facts;
}

// The MAIL parameters that the mail needs. Sending 8-bit text or UTF-8
// addresses to a server that did not offer to take them would have a relay
// mangle or bounce the message, so that stops before MAIL instead.
std::string mail_parameters(const envelope& mail, const text_facts& facts, const reply_texts& offered) {
    std::string parameters;
    if (facts.eight_bit) {
        if (!agent::offers(offered, "8BITMIME"))
            throw generic("the message holds 8-bit text, and the server does not offer 8BITMIME");
        parameters += " BODY=8BITMIME";
    }
    std::string address = is_ascii(mail.sender) ? "" : mail.sender;
    for (const std::string& recipient : mail.recipients)
        if (address.empty() && !is_ascii(recipient)) address = recipient;
    if (!address.empty() || facts.eight_bit_header) {
        if (!agent::offers(offered, "SMTPUTF8"))
            throw generic(address.empty() ? "the header holds non-ASCII text, and the server does not offer SMTPUTF8"
                                          : "the address " + address +
                                                " is not ASCII, and the server does not offer SMTPUTF8");
        parameters += " SMTPUTF8";
    }
    return parameters;
}

// The reply as one line, code first, as an error carries it.
std::string reply_line(int code, const reply_texts& texts) {
    std::string line = std::to_string(code);
    if (!texts.empty()) line.append(" ").append(texts.back());
    return line;
}

std::string joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text.append(line).append("\r\n");
    return text;
}

// Keeps a failure of QUIT in the result, wrapped as unreliable_delivery:
// the server has taken the message, so it must not be sent again.
template <typename Failure>
std::exception_ptr after_delivery(const Failure& failure) {
    try {
        std::throw_with_nested(unreliable_delivery(failure.message()));
    } catch (...) {
        return std::current_exception();
    }
}

}  // namespace

agent::agent(std::string own_name) : own_name(std::move(own_name)) {}

delivery agent::send(const address::ip4& endpoint, const envelope& mail, std::string_view text,
                     const session_options& options) const {
    return send(std::vector<address::endpoint>{endpoint}, mail, text, options);
}

delivery agent::send(const std::vector<address::endpoint>& endpoints, const envelope& mail, std::string_view text,
                     const session_options& options) const {
    // Everything is checked before the connection is made, so a refused
    // argument leaves no half-open session behind.
    refuse_line_break(own_name, "own host name");
    const text_facts facts = check_mail(mail, text);

    const auto plain = connect(endpoints, options.timeout_seconds);
    plain->observe(options.observer);
    address::endpoint peer;
    plain->peer_address(peer);
    if (own_name.empty()) {
        // Without a name of its own a client greets with the address of its
        // end of the connection, as RFC 5321 allows.
        address::endpoint local;
        plain->local_address(local);
        return agent(address::literal(local)).send_over(*plain, peer.port(), mail, text, facts, options);
    }
    return send_over(*plain, peer.port(), mail, text, facts, options);
}

delivery agent::send_over(transport::tcp::base& plain_stream, int port, const envelope& mail, std::string_view text,
                          const text_facts& facts, const session_options& options) const {
    transport::tcp::base* const plain = &plain_stream;
    std::shared_ptr<const transport::tcp::tls_context> context = options.tls_context;
    if (!context && options.tls != tls_policy::none)
        context = std::make_shared<const transport::tcp::tls_context>(transport::tcp::tls_context::client());
    std::unique_ptr<transport::tcp::tls> secured;
    if (options.tls == tls_policy::implicit)
        secured = std::make_unique<transport::tcp::tls>(*plain, *context, options.server_name);

    reply_texts texts;
    hello(secured ? *secured : *plain, texts);
    if (options.tls == tls_policy::opportunistic || options.tls == tls_policy::required) {
        secured = starttls(*plain, *context, options.server_name, texts);
        if (!secured && options.tls == tls_policy::required)
            throw transport::tcp::tls_failed("the server does not offer STARTTLS");
    }
    transport::tcp::base& session = secured ? static_cast<transport::tcp::base&>(*secured) : *plain;
    if (!options.user.empty()) log_in(session, options, texts, secured != nullptr, port);
    const int final_seconds =
        options.final_reply_timeout_seconds > 0 ? options.final_reply_timeout_seconds : options.timeout_seconds;
    delivery result = transaction(session, mail, text, facts, texts, std::min(final_seconds, INT_MAX / 1000) * 1000);
    if (secured) result.tls = secured->description();
    return result;
}

void agent::send(const address::ip4& endpoint, const std::string& recipient, const std::string& sender,
                 const std::vector<std::string>& lines, int timeout_seconds) const {
    refuse_line_breaks(lines);
    session_options options;
    options.timeout_seconds = timeout_seconds;
    const delivery result = send(endpoint, envelope{sender, {recipient}}, joined(lines), options);
    if (result.closing_failure) std::rethrow_exception(result.closing_failure);
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
        expect_code(read_reply(stream, greeting), 220, 220, "the greeting", greeting);
    }
    introduce(stream, texts);
}

void agent::introduce(transport::tcp::base& stream, reply_texts& texts) const {
    try {
        expect_code(command(stream, "EHLO " + own_name, texts), 250, 250, "EHLO", texts);
    } catch (const permanent_failure&) {
        // Only a server that refuses EHLO outright may still know HELO; a 4xx
        // reply means it is not ready for either.
        expect_code(command(stream, "HELO " + own_name, texts), 250, 250, "HELO", texts);
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
    expect_code(command(stream, "STARTTLS", ready), 220, 220, "STARTTLS", ready);
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
    transact_text(stream, recipient, sender, joined(lines));
}

void agent::transact_text(transport::tcp::base& stream, const std::string& recipient, const std::string& sender,
                          std::string_view text) const {
    const delivery result = transact(stream, envelope{sender, {recipient}}, text, {});
    if (result.closing_failure) std::rethrow_exception(result.closing_failure);
}

delivery agent::transact(transport::tcp::base& stream, const envelope& mail, std::string_view text,
                         const reply_texts& offered, int final_reply_timeout_ms) const {
    return transaction(stream, mail, text, check_mail(mail, text), offered, final_reply_timeout_ms);
}

delivery agent::transaction(transport::tcp::base& stream, const envelope& mail, std::string_view text,
                            const text_facts& facts, const reply_texts& offered, int final_reply_timeout_ms) const {
    const std::string parameters = mail_parameters(mail, facts, offered);
    // With PIPELINING the envelope goes out in one write and its replies
    // are read in order after it (RFC 2920); a refused MAIL still has the
    // replies to the RCPTs behind it.
    const bool pipelining = offers(offered, "PIPELINING");
    std::vector<std::string> lines{"MAIL FROM: <" + mail.sender + ">" + parameters};
    for (const std::string& recipient : mail.recipients) lines.push_back("RCPT TO: <" + recipient + ">");

    delivery result;
    reply_texts texts;
    try {
        if (pipelining) {
            exchange_deadline bound(stream);
            for (const std::string& line : lines) stream.write_line(line, false);
            stream.flush();
        }
        std::exception_ptr refused_sender;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            exchange_deadline bound(stream);
            if (!pipelining) stream.write_line(lines[i], true);
            std::string reply;
            try {
                const int code = read_reply(stream, texts);
                expect_code(code, 200, 299, i == 0 ? "MAIL" : "RCPT", texts);
                reply = reply_line(code, texts);
            } catch (const temporary_failure& e) {
                if (i == 0 && !pipelining) throw;
                if (i == 0) refused_sender = std::current_exception();
                reply = e.message();
            } catch (const permanent_failure& e) {
                if (i == 0 && !pipelining) throw;
                if (i == 0) refused_sender = std::current_exception();
                reply = e.message();
            }
            if (i > 0) result.recipients.push_back({mail.recipients[i - 1], reply, reply.front() == '2'});
        }
        if (refused_sender) std::rethrow_exception(refused_sender);
        const auto accepted = [](const recipient_reply& r) { return r.accepted; };
        if (std::none_of(result.recipients.begin(), result.recipients.end(), accepted)) {
            // Trying later may help where any refusal was temporary.
            for (const recipient_reply& r : result.recipients)
                if (r.reply.front() == '4') throw temporary_failure(r.reply);
            throw permanent_failure(result.recipients.front().reply);
        }
        {
            exchange_deadline bound(stream);
            stream.write_line("DATA", true);
            expect_code(read_reply(stream, texts), 354, 354, "DATA", texts);
        }
        send_text(stream, text);
    } catch (const transport::generic& e) {
        // The transport's failure stays reachable (std::rethrow_if_nested)
        // for callers that tell a time-out from a refused connection.
        std::throw_with_nested(temporary_failure(e.message()));
    }
    try {
        exchange_deadline bound(stream, final_reply_timeout_ms > 0 ? final_reply_timeout_ms : stream.receive_timeout());
        stream.write_line(".", true);
        const int code = read_reply(stream, texts);
        expect_code(code, 200, 299, "the end of the message", texts);
        result.reply = reply_line(code, texts);
    } catch (const transport::generic& e) {
        // The server may have the message: sending it again may deliver it
        // twice.
        std::throw_with_nested(outcome_unknown(e.message()));
    }
    try {
        expect_code(command(stream, "QUIT", texts), 200, 299, "QUIT", texts);
    } catch (const transport::generic& e) {
        result.closing_failure = after_delivery(e);
    } catch (const generic& e) {
        // Whatever the server says to QUIT, it has taken the message.
        result.closing_failure = after_delivery(e);
    }
    return result;
}

}  // namespace corvid::internet::smtp
