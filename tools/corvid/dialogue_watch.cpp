// SPDX-License-Identifier: MIT
#include "dialogue_watch.h"

#include <corvid/text.h>

#include <cstdio>

namespace corvid_tool {

namespace {

using corvid::starts_with;

// "MAIL FROM" and "RCPT TO" name their command; other lines their first word.
std::string verb_of(const std::string& line) {
    for (const char* two_words : {"MAIL FROM", "RCPT TO"})
        if (starts_with(line, two_words)) return two_words;
    return line.substr(0, line.find(' '));
}

}  // namespace

dialogue_watch::~dialogue_watch() {
    // A delivery cut short inside the text still shows how far it got.
    if (now == stage::message_text) show_count();
}

void dialogue_watch::sent(std::string_view bytes) {
    // Seen before it is sent, so that a failing send is laid to the line it
    // was sending.
    client_text.append(bytes);
    for (std::string line; client_text.get_line(line);) client_line(line);
}

void dialogue_watch::received(std::string_view bytes) {
    server_text.append(bytes);
    for (std::string line; server_text.get_line(line);) server_line(line);
}

void dialogue_watch::client_line(const std::string& line) {
    if (now == stage::message_text) {
        // The text's own lines never are a lone "." once stuffed.
        if (line != ".") {
            ++message_lines;
            return;
        }
        show_count();
        now = stage::end_of_data;
        verb = line;
        pending.push_back(verb);
        show("C: ", line);
        return;
    }
    if (answering_challenge) {
        // A CRAM-MD5 response, or a LOGIN user name or password.
        answering_challenge = false;
        pending.push_back(verb);
        show("C: ", "*****");
        return;
    }
    verb = verb_of(line);
    pending.push_back(verb);
    now = verb == "QUIT" ? stage::quit : stage::command;
    if (verb == "AUTH") login_tried = true;
    static constexpr std::string_view plain = "AUTH PLAIN ";
    show("C: ", starts_with(line, plain) ? std::string(plain) + "*****" : line);
}

void dialogue_watch::server_line(const std::string& line) {
    show("S: ", line);
    reply = line;
    if (line.size() > 3 && line[3] == '-') return;  // only a reply's last line counts
    answers.emplace_back(pending.empty() ? std::string() : pending.front(), line);
    if (!pending.empty()) pending.pop_front();
    const std::string code = line.substr(0, 3);
    answering_challenge = code == "334" && verb == "AUTH";
    if (code == "354" && verb == "DATA") {
        now = stage::message_text;
        message_lines = 0;
    }
}

std::string dialogue_watch::command_answered_by(const std::string& reply_line) const {
    for (auto answer = answers.rbegin(); answer != answers.rend(); ++answer)
        if (answer->second == reply_line) return answer->first;
    return verb;
}

void dialogue_watch::show(std::string_view prefix, std::string_view text) const {
    if (!trace) return;
    const std::string line = std::string(prefix) + printable(text) + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
}

void dialogue_watch::show_count() const {
    // Appended piece by piece: g++ 12 warns falsely about a chain of +.
    std::string count = "(";
    count += std::to_string(message_lines);
    count += message_lines == 1 ? " message line)" : " message lines)";
    show("C: ", count);
}

}  // namespace corvid_tool
