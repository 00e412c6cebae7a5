// SPDX-License-Identifier: MIT
#ifndef CORVID_TOOLS_DIALOGUE_WATCH_H
#define CORVID_TOOLS_DIALOGUE_WATCH_H

#include <corvid/internet/transport/tcp/base.h>
#include <corvid/line_reader.h>
#include <corvid/text.h>

#include <cstddef>
#include <deque>
#include <utility>
#include <vector>

#include <string>
#include <string_view>

namespace corvid_tool {

// Follows the SMTP dialogue of a client session, so that a failure can
// name the step it struck, and can print the dialogue on stderr: "C: " and
// "S: " lines, the message text as a count of lines, login secrets as
// "*****". It only watches whole lines; a TLS stream that takes over the
// connection goes on reporting to it.
class dialogue_watch : public corvid::internet::transport::tcp::byte_observer {
public:
    // Where the dialogue stands: before the first command, after a command,
    // inside the message text (after 354 to DATA), after the end marker ".",
    // after QUIT (the message was accepted by then).
    enum class stage { greeting, command, message_text, end_of_data, quit };

    explicit dialogue_watch(bool trace) : trace(trace) {}
    ~dialogue_watch() override;

    stage where() const noexcept { return now; }
    // The last command's verb ("EHLO", "MAIL FROM", "AUTH", ...).
    const std::string& last_command() const noexcept { return verb; }
    // The last whole line the server sent.
    const std::string& last_reply() const noexcept { return reply; }
    // The verb of the command that the reply line answered, matched in
    // order as pipelined commands are; the last command's when no reply was
    // that line.
    std::string command_answered_by(const std::string& reply_line) const;
    // Whether an AUTH command went out.
    bool tried_login() const noexcept { return login_tried; }

    // Prints a note of the tool's own into the trace, e.g. "TLS started".
    void note(std::string_view text) const { show("-- ", text); }

    void sent(std::string_view bytes) override;
    void received(std::string_view bytes) override;

private:
    void client_line(const std::string& line);
    void server_line(const std::string& line);
    void show(std::string_view prefix, std::string_view text) const;
    void show_count() const;

    bool trace;
    corvid::line_reader client_text;
    corvid::line_reader server_text;
    stage now = stage::greeting;
    std::string verb;
    std::string reply;
    // Commands sent and not yet answered, and each answer: verb and the
    // last line of its reply.
    std::deque<std::string> pending;
    std::vector<std::pair<std::string, std::string>> answers;
    // The next client line answers a 334 challenge: a login secret.
    bool answering_challenge = false;
    bool login_tried = false;
    std::size_t message_lines = 0;
};

using corvid::printable;

}  // namespace corvid_tool

#endif
