#ifndef CORVID_TOOLS_MAILDIR_HANDLER_H
#define CORVID_TOOLS_MAILDIR_HANDLER_H

#include "maildir.h"

#include <corvid/internet/smtp/accept_handler.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace corvid_tool {

// What one session of `corvid smtp serve` accepts: a bounded number of
// recipients per message, and messages that go into a Maildir as they
// arrive (or nowhere, without one). Each message is logged on stderr with
// its envelope, size and fate.
class maildir_handler : public corvid::internet::smtp::accept_handler {
public:
    // box may be null: messages are then taken and dropped. peer names the
    // client in the log lines.
    maildir_handler(const maildir* box, unsigned max_recipients, std::string peer);

    // One more distinct recipient than max_recipients is refused with 452,
    // a temporary answer: the client sends to the rest in another message.
    bool accept_recipient(const std::string& address) override;
    // The message goes to its file in tmp/ piece by piece, and is true only
    // once it is safe in new/: a failed write answers 451 and leaves nothing
    // behind.
    void begin_message(const std::string& trace_line) override;
    void message_text(std::string_view text) override;
    bool end_message() override;
    void abort_message() override;

    unsigned delivered() const noexcept { return delivered_count; }
    unsigned failed() const noexcept { return failed_count; }

private:
    void log_failure(const std::string& why);
    std::string entry() const;

    const maildir* box;
    unsigned max_recipients;
    std::string peer;
    std::unique_ptr<maildir_delivery> delivery;
    std::uint64_t size = 0;
    unsigned delivered_count = 0;
    unsigned failed_count = 0;
};

// Writes "corvid smtp serve: " and text as one line on stderr, with one
// write so that the lines of parallel sessions never interleave.
void log_line(const std::string& text);

}  // namespace corvid_tool

#endif
