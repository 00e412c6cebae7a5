#ifndef CORVID_INTERNET_SMTP_ACCEPT_HANDLER_H
#define CORVID_INTERNET_SMTP_ACCEPT_HANDLER_H

#include <set>
#include <string>
#include <vector>

namespace corvid::internet::smtp {

// What an SMTP server session accepts, and what becomes of a message. This
// class accepts every command line, sender and message, and each distinct
// recipient once, and keeps the envelope; a derived class overrides the
// accept_ operations to filter, validate and deliver, and reads sender and
// recipients for the envelope. An operation that throws smtp::refused makes
// the session answer with that reply line; any other std::exception answers
// the command with a syntax error. Either way the session goes on.
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
    // Addresses come lower case. The sender is stored; a recipient already
    // held is refused.
    virtual bool accept_sender(const std::string& address);
    virtual bool accept_recipient(const std::string& address);
    // The message lines, a "Received:" line first. True once the message is
    // safely taken: the client is then told it was delivered.
    virtual bool accept_message(const std::vector<std::string>& lines);

    // Messages with more "by <own name>" header lines are mail loops; 0
    // turns the check off.
    unsigned max_hops = 8;
    // Largest message in bytes (line text without line ends); 0 means no
    // limit and no SIZE extension.
    unsigned max_size = 0;
    std::string sender;
    std::set<std::string> recipients;
};

}  // namespace corvid::internet::smtp

#endif
