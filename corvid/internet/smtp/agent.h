#ifndef CORVID_INTERNET_SMTP_AGENT_H
#define CORVID_INTERNET_SMTP_AGENT_H

#include <corvid/internet/address/endpoint.h>
#include <corvid/internet/address/ip4.h>
#include <corvid/internet/smtp/accept_handler.h>
#include <corvid/internet/smtp/errors.h>
#include <corvid/internet/smtp/wire.h>
#include <corvid/internet/transport/tcp/base.h>
#include <corvid/internet/transport/tcp/tls.h>

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace corvid::internet::smtp {

// An SMTP agent under its own host name. As a client it delivers one message
// to one recipient per connection: greeting, EHLO (HELO after a 5xx reply),
// optionally AUTH, one mail transaction, QUIT. Every reply passes the rules
// of read_reply; an argument or message line holding CR or LF is refused
// with generic before anything is written. As a server it conducts one
// incoming session on a connected stream, asking an accept_handler.
class agent {
public:
    explicit agent(std::string own_name);

    const std::string& name() const noexcept { return own_name; }

    // Connects, introduces itself and runs transact, on a stream of its own
    // that is closed however it ends. timeout_seconds (> 0) bounds the
    // connect, each whole reply counted from the write of its command, the
    // whole wait for 354 and each message line's send.
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

    // Reads the greeting and sends EHLO, or HELO when EHLO got a 5xx reply;
    // texts receives the accepted reply's texts (greeting text, then one
    // entry per extension).
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

    // MAIL, RCPT, DATA, the text, "." and QUIT. A transport failure up to the
    // reply to "." throws temporary_failure with the transport's message; any
    // failure of QUIT, an error reply included, throws unreliable_delivery
    // (the server has taken the message). Both carry the failure they stand
    // for as a nested exception.
    void transact(transport::tcp::base& stream, const std::string& recipient, const std::string& sender,
                  const std::vector<std::string>& lines) const;
    // The same for the message as one text whose lines end with CR LF, as
    // entity::write_text() gives it: sent in large pieces, without a list of
    // lines. A CR or LF outside a CR LF pair is refused with generic first.
    void transact_text(transport::tcp::base& stream, const std::string& recipient, const std::string& sender,
                       std::string_view text) const;

    // Greets and answers commands until QUIT, a size or loop rejection (the
    // stream is then left open), or a transport failure, which is raised
    // again; a receive time-out is answered "221 <name> Timed out" first.
    // Malformed commands and handler errors are answered with 500 and the
    // session goes on. The message text ends only at a "." line between two
    // CR LF pairs, so that bare line ends cannot smuggle in a second message.
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
    // EHLO, or HELO when EHLO got a 5xx reply.
    void introduce(transport::tcp::base& stream, reply_texts& texts) const;
    // MAIL, RCPT, DATA, send_message, "." and QUIT, with the failures as
    // transact describes them.
    void transaction(transport::tcp::base& stream, const std::string& recipient, const std::string& sender,
                     const std::function<void()>& send_message) const;

    std::string own_name;
};

}  // namespace corvid::internet::smtp

#endif
