// SPDX-License-Identifier: MIT
#include "dialogs.h"

#include <corvid/text.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace post {

namespace {

// Log text goes to a terminal: control characters other than line breaks
// and tabs would let a log drive the terminal.
std::string printable(const std::string& text) { return corvid::printable(text, "\r\n\t"); }

std::string trimmed(const std::string& line) {
    const auto first = line.find_first_not_of(" \t\r");
    if (first == std::string::npos) return {};
    return line.substr(first, line.find_last_not_of(" \t\r") - first + 1);
}

bool is_continuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

bool is_yes(const std::string& reply) { return reply == "y" || reply == "yes"; }

}  // namespace

std::string wrap(const std::string& text, std::size_t width) {
    std::string result = text;
    if (width == 0) return result;
    std::size_t column = 0;
    std::size_t blank = std::string::npos;  // the last blank of the line being filled
    for (std::size_t i = 0; i < result.size(); ++i) {
        const char c = result[i];
        if (c == '\n') {
            column = 0;
            blank = std::string::npos;
            continue;
        }
        if (is_continuation(c)) continue;
        ++column;
        // A blank past the edge ends the line itself, but a prompt's last
        // blank stays, so that the answer follows on the same line.
        if (c == ' ' && column > width && i + 1 < result.size()) {
            result[i] = '\n';
            column = 0;
            blank = std::string::npos;
        } else if (c == ' ') {
            blank = i;
        } else if (column > width && blank != std::string::npos) {
            result[blank] = '\n';
            column = static_cast<std::size_t>(std::count_if(result.begin() + static_cast<std::ptrdiff_t>(blank + 1),
                                                            result.begin() + static_cast<std::ptrdiff_t>(i + 1),
                                                            [](char b) { return !is_continuation(b); }));
            blank = std::string::npos;
        }
    }
    return result;
}

void terminal_ui::say(const std::string& text) { out << wrap(text, columns); }

bool terminal_ui::read_answer(std::string& reply) {
    std::string line;
    if (!std::getline(in, line)) {
        out << "\n";
        return false;
    }
    reply = trimmed(line);
    return true;
}

answer terminal_ui::show(const box& message) {
    out << "[" << message.caption << "]\n";
    say(message.text);
    out << "\n";
    if (message.buttons == buttons::ok) {
        out.flush();
        return message.offers_save ? answer::save : answer::ok;
    }
    const std::string prompt =
        message.report ? "Answer y (yes), n (no) or d (show the report): " : "Answer y (yes) or n (no): ";
    std::string reply;
    for (;;) {  // each round consumes one line, so the end of input ends it
        say(prompt);
        out.flush();
        if (!read_answer(reply)) return answer::no;
        reply = corvid::to_lower(reply);
        if (is_yes(reply)) return answer::yes;
        if (reply == "n" || reply == "no") return answer::no;
        if (reply == "d" && message.report) {
            page("To: " + printable(message.report->recipient) + "\nSubject: " +
                 printable(message.report->subject) + "\n\n" + printable(std::string(message.report->log_utf8)) +
                 "\n");
            continue;
        }
        say(message.report ? "Please answer y, n or d." : "Please answer y or n.");
        out << "\n";
    }
}

std::string terminal_ui::save_path(const std::string& suggested) {
    namespace fs = std::filesystem;
    std::string reply;
    for (;;) {  // each round consumes input, so the end of input ends it
        say("Save the report to a file? Enter a path, or nothing to skip (y saves it as " + suggested + "): ");
        out.flush();
        if (!read_answer(reply) || reply.empty()) return {};
        std::string path = is_yes(corvid::to_lower(reply)) ? suggested : reply;
        const char* home = std::getenv("HOME");
        if (path.starts_with("~/") && home) path = home + path.substr(1);
        std::error_code ec;
        if (fs::is_directory(path, ec)) path = (fs::path(path) / fs::path(suggested).filename()).string();
        if (!fs::exists(path, ec)) return path;
        say(path + " exists. Replace it? Answer y (yes) or n (no): ");
        out.flush();
        if (!read_answer(reply)) return {};
        if (is_yes(corvid::to_lower(reply))) return path;
    }
}

void terminal_ui::page(const std::string& text) {
    std::size_t at = 0;
    for (std::size_t lines = 0; at < text.size(); ++lines) {
        if (page_lines > 0 && lines == page_lines) {
            out << "-- Enter for more, q to stop --";
            out.flush();
            std::string line;
            if (!std::getline(in, line) || corvid::to_lower(trimmed(line)) == "q") {
                out << "\n";
                return;
            }
            lines = 0;
        }
        const std::size_t end = std::min(text.find('\n', at), text.size() - 1);
        out.write(text.data() + at, static_cast<std::streamsize>(end + 1 - at));
        at = end + 1;
    }
}

void terminal_ui::sending(const std::string& host) {
    out << "Sending the error report to " << host << "...\n";
    out.flush();
}

answer silent_ui::show(const box& message) {
    if (message.buttons == buttons::yes_no) return answer::no;
    err << message.caption << ": " << message.text << "\n";
    err.flush();
    return answer::ok;
}

std::unique_ptr<ui> choose_ui(const ui_setting& setting, std::istream& in, std::ostream& out, std::ostream& err) {
    const std::string choice = setting.requested ? setting.requested : "";
    if (choice == "terminal") return std::make_unique<terminal_ui>(in, out, setting.page_lines, setting.columns);
    if (choice == "none") return std::make_unique<silent_ui>(err);
    if (!choice.empty() && choice != "gtk")
        err << "post: POST_UI is \"" << choice << "\", not gtk, terminal or none; choosing by the environment\n";
    if ((choice == "gtk" || setting.has_display) && setting.start_gtk) {
        if (auto dialogs = setting.start_gtk()) return dialogs;
        if (choice == "gtk") err << "post: the GTK dialogs cannot start; using the terminal when there is one\n";
    }
    if (setting.input_is_terminal) return std::make_unique<terminal_ui>(in, out, setting.page_lines, setting.columns);
    return std::make_unique<silent_ui>(err);
}

}  // namespace post
