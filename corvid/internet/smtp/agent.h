// SPDX-License-Identifier: MIT
#ifndef CORVID_INTERNET_SMTP_AGENT_H
#define CORVID_INTERNET_SMTP_AGENT_H

#include <corvid/internet/address/endpoint.h>
#include <corvid/internet/address/ip4.h>
#include <corvid/internet/smtp/accept_handler.h>
#include <corvid/internet/smtp/errors.h>
#include <corvid/internet/smtp/wire.h>
#include <corvid/internet/transport/tcp/base.h>
#include <corvid/internet/transport/tcp/tls.h>

#include <exception>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace corvid::internet::smtp {

// How a client session protects itself: not at all, STARTTLS when the
// server offers it, STARTTLS or fail, or TLS from the first byte (port 465).
enum class tls_policy { none, opportunistic, required, implicit };

// How a client logs in. automatic takes the first of CRAM-MD5, PLAIN and
// LOGIN that the server offers; bearer tokens (RFC 7628 and the older
// XOAUTH2) are used only when asked for.
enum class login_mechanism { automatic, cram_md5, plain, login, xoauth2, oauthbearer };

// Everything a client session needs besides the endpoint and the mail. The
// defaults are a plain session without a login and 30 seconds for every
// wait.
struct session_options {
    tls_policy tls = tls_policy::none;
    // The client context for TLS; when null, the system's trust store with
    // the certificate and its name checked.
    std::shared_ptr<const transport::tcp::tls_context> tls_context;
    // The name the server's certificate must carry, and the host that an
    // OAUTHBEARER login names.
    std::string server_name;
    // No login when empty.
    std::string user;
    // The password, or the bearer token.
    std::string secret;
    login_mechanism mechanism = login_mechanism::automatic;
    // PLAIN, LOGIN and bearer tokens travel readable by anyone on the path
    // without TLS, so they need this; CRAM-MD5 never sends the password.
    bool allow_plaintext_login = false;
    // Bounds the connect, the greeting and each command's reply (> 0).
    int timeout_seconds = 30;
    // Bounds the wait for the reply to the final "."; 0 takes
    // timeout_seconds. Servers may scan the message first: RFC 5321
    // suggests ten minutes.
    int final_reply_timeout_seconds = 0;
    // Sees every byte of the session, also inside TLS; must outlive it.
    transport::tcp::byte_observer* observer = nullptr;
};

// The mail of one transaction: the envelope sender (empty for a bounce)
// and its recipients, in order.
struct envelope {
    std::string sender;
    std::vector<std::string> recipients;
};

// What the server said to one recipient.
struct recipient_reply {
    std::string address;
    std::string reply;  // the last line of its reply to RCPT, code first
    bool accepted = false;
};

// The outcome of a transaction the server took the message in.
struct delivery {
    std::vector<recipient_reply> recipients;
    // The reply line to the final ".".
    std::string reply;
    // The TLS session, as tls::description() gives it; empty without TLS.
    std::string tls;
    // Set when QUIT failed after the message was taken: an
    // unreliable_delivery carrying the failure. The message is delivered.
    std::exception_ptr closing_failure;
};

// An SMTP agent under its own host name. As a client it delivers a message
// in one session: connect, greeting, EHLO (HELO after a 5xx reply),
// STARTTLS and a login as asked, one mail transaction, QUIT. Each reply
// must carry the code its step expects (220 to the greeting, 250 to EHLO,
// 354 to DATA, 2yz to MAIL, RCPT and "."), else protocol_error; no other
// code ever counts as success. An argument or message line holding CR or
// LF is refused with generic before anything is written. As a server it
// conducts one incoming session on a connected stream, asking an
// accept_handler.
class agent {
public:
    explicit agent(std::string own_name);

    const std::string& name() const noexcept { return own_name; }

    // The whole client session on a stream of its own, closed however it
    // ends, connected to the first of endpoints that answers (as
    // tcp::base::connect tries them in turn). An agent without a name
    // greets with the address literal of its end of the connection. Returns
    // what the server said to each recipient and to the message; throws
    // when the message was not taken, when no recipient was accepted (the
    // first refusal's reply), or outcome_unknown when the connection failed
    // while the reply to the final "." was awaited.
    delivery send(const std::vector<address::endpoint>& endpoints, const envelope& mail, std::string_view text,
                  const session_options& options) const;
    // The same for one IPv4 endpoint.
    delivery send(const address::ip4& endpoint, const envelope& mail, std::string_view text,
                  const session_options& options) const;

    // One message to one recipient without TLS or a login, every wait
    // bounded by timeout_seconds; a failure of QUIT after the message was
    // taken throws unreliable_delivery.
    void send(const address::ip4& endpoint, const std::string& recipient, const std::string& sender,
              const std::vector<std::string>& lines, int timeout_seconds) const;

    // The connection send makes, for callers that drive the steps
    // themselves: connected within timeout_seconds (> 0; else blocking),
    // with that receive time-out.
    static std::unique_ptr<transport::tcp::base> connect(const address::ip4& endpoint, int timeout_seconds);
    // The same for every endpoint of a mail host, of either family, tried
    // in turn as tcp::base::connect tries them, within timeout_seconds in
    // all (> 0; else without a bound of its own).
    static std::unique_ptr<transport::tcp::base> connect(const std::vector<address::endpoint>& endpoints,
                                                         int timeout_seconds);

    // Reads the greeting (220) and sends EHLO (250), or HELO when EHLO got
    // a 5xx reply; texts receives the accepted reply's texts (greeting
    // text, then one entry per extension).
    void hello(transport::tcp::base& stream, reply_texts& texts) const;

    // Whether the texts hello gave offer the extension, e.g. "STARTTLS".
    static bool offers(const reply_texts& texts, std::string_view extension);

    // When the texts hello gave offer STARTTLS: the command, a 220 reply,
    // the TLS handshake on the connection taken from stream (which is left
    // without a socket) and EHLO again, whose reply replaces texts. Anything
    // the server sent after the 220 is dropped unread, never taken as a
    // reply. Returns the TLS stream to go on with, or nullptr when STARTTLS
    // is not offered (nothing is sent then). server_name is what the
    // server's certificate is checked against.
    std::unique_ptr<transport::tcp::tls> starttls(transport::tcp::base& stream,
                                                  const transport::tcp::tls_context& context,
                                                  const std::string& server_name, reply_texts& texts) const;

    // Tries CRAM-MD5, PLAIN and LOGIN, in that order, within each AUTH line
    // of the texts hello gave. True once the server accepted a login; false
    // when none did or any SMTP error came back.
    bool authenticate(transport::tcp::base& stream, const std::string& user, const std::string& password,
                      const reply_texts& texts) const;

    // Logs in as options say (user, secret, mechanism, plaintext rule;
    // server_name and port name the host for OAUTHBEARER). encrypted tells
    // whether the stream is under TLS. Throws login_failed, with the
    // server's reply when it refused.
    void log_in(transport::tcp::base& stream, const session_options& options, const reply_texts& offered,
                bool encrypted, int port) const;

    // MAIL, the RCPTs, DATA, the text, "." and QUIT for a message text whose
    // lines end with CR LF (the last may lack it), sent in large pieces.
    // offered are the texts hello gave: with PIPELINING, MAIL and the RCPTs
    // go out in one write; a text that needs SMTPUTF8 (non-ASCII in an
    // address or the header) or 8BITMIME (any 8-bit byte) gets the parameter
    // when offered and is refused with generic before MAIL when not, as is a
    // lone CR or LF or a line over 998 octets. A transport failure before
    // the final "." throws temporary_failure, one while its reply is awaited
    // outcome_unknown (with final_reply_timeout_ms, > 0, as the time-out for
    // that reply); a failure of QUIT is kept in the result.
    delivery transact(transport::tcp::base& stream, const envelope& mail, std::string_view text,
                      const reply_texts& offered, int final_reply_timeout_ms = 0) const;

    // One recipient, without knowing the server's extensions: 8-bit text is
    // refused. A transport failure up to the reply to "." throws
    // temporary_failure (outcome_unknown while that reply is awaited); any
    // failure of QUIT, an error reply included, throws unreliable_delivery
    // (the server has taken the message). Each carries the failure it
    // stands for as a nested exception.
    void transact(transport::tcp::base& stream, const std::string& recipient, const std::string& sender,
                  const std::vector<std::string>& lines) const;
    // The same for the message as one text whose lines end with CR LF, as
    // entity::write_text() gives it.
    void transact_text(transport::tcp::base& stream, const std::string& recipient, const std::string& sender,
                       std::string_view text) const;

    // Greets and answers commands until QUIT, a size or loop rejection (the
    // stream is then left open), or a transport failure, which is raised
    // again; a receive time-out is answered "421 <name> Timed out" first.
    // Malformed commands are answered with 500 and the session goes on. The
    // message text ends only at a "." line between two CR LF pairs, so that
    // bare line ends cannot smuggle in a second message.
    void serve(transport::tcp::base& stream, accept_handler& handler) const;
    // The same, offering STARTTLS with the server context tls: after "220
    // Ready to start TLS" the session goes on over TLS, with any command
    // bytes the client sent ahead of the handshake dropped, and the client
    // must introduce itself again.
    void serve(transport::tcp::base& stream, accept_handler& handler, const transport::tcp::tls_context& tls) const;

    // Turns a connection away with "421 <name> ESMTP <reason>"; a failing
    // connection is not reported.
    void refuse(transport::tcp::base& stream, const std::string& reason) const;

private:
    // send's steps after the connect.
    delivery send_over(transport::tcp::base& plain, int port, const envelope& mail, std::string_view text,
                       const text_facts& facts, const session_options& options) const;
    // transact's steps after the mail was checked, facts being what
    // check_mail found in the text.
    delivery transaction(transport::tcp::base& stream, const envelope& mail, std::string_view text,
                         const text_facts& facts, const reply_texts& offered, int final_reply_timeout_ms) const;
    // EHLO, or HELO when EHLO got a 5xx reply.
    void introduce(transport::tcp::base& stream, reply_texts& texts) const;

    std::string own_name;
};

}  // namespace corvid::internet::smtp

#endif
