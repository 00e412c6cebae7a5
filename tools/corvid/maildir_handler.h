#ifndef CORVID_TOOLS_MAILDIR_HANDLER_H
#define CORVID_TOOLS_MAILDIR_HANDLER_H

#include "maildir.h"

#include <corvid/internet/smtp/accept_handler.h>

#include <string>
#include <vector>

namespace corvid_tool {

// What one session of `corvid smtp serve` accepts: a bounded number of
// recipients per message, and messages that go into a Maildir (or nowhere,
// without one). Each message is logged on stderr with its envelope, size
// and fate.
class maildir_handler : public corvid::internet::smtp::accept_handler {
public:
    // box may be null: messages are then taken and dropped. peer names the
    // client in the log lines.
    maildir_handler(const maildir* box, unsigned max_recipients, std::string peer);

    // One more distinct recipient than max_recipients is refused with 452,
    // a temporary answer: the client sends to the rest in another message.
    bool accept_recipient(const std::string& address) override;
    // True only once the message is safe in new/: a failed write answers
    // 451 and leaves nothing behind.
    bool accept_message(const std::vector<std::string>& lines) override;

    unsigned delivered() const noexcept { return delivered_count; }
    unsigned failed() const noexcept { return failed_count; }

private:
    const maildir* box;
    unsigned max_recipients;
    std::string peer;
    unsigned delivered_count = 0;
    unsigned failed_count = 0;
};

// Writes "corvid smtp serve: " and text as one line on stderr, with one
// write so that the lines of parallel sessions never interleave.
void log_line(const std::string& text);

}  // namespace corvid_tool

#endif
