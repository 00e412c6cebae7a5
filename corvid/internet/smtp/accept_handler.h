// SPDX-License-Identifier: MIT
#ifndef CORVID_INTERNET_SMTP_ACCEPT_HANDLER_H
#define CORVID_INTERNET_SMTP_ACCEPT_HANDLER_H

#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace corvid::internet::smtp {

// What an SMTP server session accepts, and what becomes of a message. This
// class accepts every command line, sender and message, and keeps the
// envelope (a recipient given twice is held once); a derived class
// overrides the accept_ operations to filter, validate and deliver, and
// reads sender and recipients for the envelope. An operation that throws
// smtp::refused makes the session answer with that reply line; any other
// std::exception answers a command with a syntax error, and a message with a
// transient failure (451). Either way the session goes on.
// One handler serves one session at a time.
class accept_handler {
public:
    accept_handler() = default;
    accept_handler(const accept_handler&) = default;
    accept_handler& operator=(const accept_handler&) = default;
    virtual ~accept_handler();

    // Empties the envelope.
    virtual void reset();
    // The raw command line; false answers it with a syntax error.
    virtual bool accept_command(const std::string& line);
    // Addresses come lower case. The sender is stored; a recipient is added
    // to the set.
    virtual bool accept_sender(const std::string& address);
    virtual bool accept_recipient(const std::string& address);
    // The message lines, a "Received:" line first. True once the message is
    // safely taken: the client is then told it was delivered.
    virtual bool accept_message(const std::vector<std::string>& lines);

    // A message as it arrives, for handlers that store it without holding
    // it: begin_message with the trace line (no line end), message_text with
    // the text in pieces (dot-unstuffed, its line ends as sent), then
    // end_message, true once the message is safely taken. abort_message
    // instead when it is given up (too large, a loop, the client gone):
    // nothing of it may remain. By default the text is gathered, cut into
    // lines at CR LF and handed to accept_message.
    virtual void begin_message(const std::string& trace_line);
    virtual void message_text(std::string_view text);
    virtual bool end_message();
    virtual void abort_message();

    // A login: whether user may log in with password (AUTH PLAIN and
    // LOGIN). By default nobody may.
    virtual bool accept_login(const std::string& user, const std::string& password);
    // The shared secret of user, for AUTH CRAM-MD5, which proves knowledge
    // of it without sending it; nothing when the user is unknown or the
    // secret cannot be told. By default nothing.
    virtual std::optional<std::string> login_secret(const std::string& user);
    // A CRAM-MD5 login: digest is the client's hexadecimal HMAC-MD5 of the
    // challenge. By default checked against login_secret, in constant time.
    virtual bool accept_cram_md5(const std::string& user, const std::string& challenge, const std::string& digest);

    // Messages with more "by <own name>" header lines are mail loops; 0
    // turns the check off.
    unsigned max_hops = 8;
    // Largest message in octets as they come (line ends included, quoting
    // dots not); 0 means no limit and no SIZE extension.
    unsigned max_size = 0;
    // AUTH is offered: CRAM-MD5 always, PLAIN and LOGIN only inside TLS
    // unless plaintext_login allows them on a plain connection.
    bool offer_login = false;
    bool plaintext_login = false;
    // MAIL is refused (530) until a login succeeded.
    bool require_login = false;
    // Failed logins a session may have before it is ended with 421.
    unsigned max_login_failures = 3;

    // Set by an operation to end the session once its reply is sent, or at
    // once without a reply (a test server that drops the connection).
    enum class ending { none, after_reply, without_reply };
    ending end_session = ending::none;

    std::string sender;
    std::set<std::string> recipients;
    // The user of the session's login, empty before one.
    std::string user;

private:
    std::string gathered;
    std::string trace;
};

}  // namespace corvid::internet::smtp

#endif
