// SPDX-License-Identifier: MIT
#ifndef CORVID_TOOLS_MAILDIR_HANDLER_H
#define CORVID_TOOLS_MAILDIR_HANDLER_H

#include "maildir.h"

#include <corvid/internet/smtp/accept_handler.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvid_tool {

// A deterministic answer of a test server, from --reply STAGE[:PATTERN]=REPLY:
// at MAIL or RCPT for an address that matches the shell pattern, or after
// the text of any message (data). REPLY is a 4xx or 5xx reply line, or
// "drop" to close the connection without one.
struct reply_rule {
    enum class stage { mail, rcpt, data } at = stage::mail;
    std::string pattern = "*";
    std::string reply;
    bool drop = false;
};
// Throws corvid::exception saying what is wrong with text.
reply_rule parse_reply_rule(const std::string& text);

// What every session of a server shares: who may log in and the rules.
struct session_policy {
    // user to password, from --auth-file; empty with auth_any.
    std::map<std::string, std::string> users;
    bool auth_any = false;  // every login is taken
    std::vector<reply_rule> rules;
    // Told of each message delivered, for --max-messages.
    std::function<void()> delivered;
};

// What one session of `corvid smtp serve` accepts: a bounded number of
// recipients per message, and messages that go into a Maildir as they
// arrive (or nowhere, without one). Each message is logged on stderr with
// its envelope, size and fate.
class maildir_handler : public corvid::internet::smtp::accept_handler {
public:
    // box may be null: messages are then taken and dropped. peer names the
    // client in the log lines.
    maildir_handler(const maildir* box, unsigned max_recipients, std::string peer, const session_policy& policy);

    // The rules first; then one more distinct recipient than max_recipients
    // is refused with 452, a temporary answer: the client sends to the rest
    // in another message.
    bool accept_sender(const std::string& address) override;
    bool accept_recipient(const std::string& address) override;
    bool accept_login(const std::string& user, const std::string& password) override;
    std::optional<std::string> login_secret(const std::string& user) override;
    bool accept_cram_md5(const std::string& user, const std::string& challenge, const std::string& digest) override;
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
    // Throws the reply of the first rule for stage and address, if any.
    void apply_rules(reply_rule::stage stage, const std::string& address);

    const maildir* box;
    unsigned max_recipients;
    std::string peer;
    const session_policy& policy;
    std::unique_ptr<maildir_delivery> delivery;
    std::uint64_t size = 0;
    unsigned delivered_count = 0;
    unsigned failed_count = 0;
};

// Writes an RFC 3339 time stamp, "corvid smtp serve: " and text as one line
// on stderr, with one write so that the lines of parallel sessions never
// interleave.
void log_line(const std::string& text);

}  // namespace corvid_tool

#endif
