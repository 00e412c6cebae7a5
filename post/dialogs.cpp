#include "dialogs.h"

#include <corvid/text.h>

#include <algorithm>
#include <string>

namespace post {

namespace {

// Log text goes to a terminal: control characters other than line breaks
// and tabs would let a log drive the terminal, so they are shown as "?".
std::string printable(const std::string& text) {
    std::string shown = text;
    for (char& c : shown) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte < 0x20 && c != '\n' && c != '\r' && c != '\t') || byte == 0x7F) c = '?';
    }
    return shown;
}

std::string lowered_trimmed(const std::string& line) {
    const auto first = line.find_first_not_of(" \t\r");
    if (first == std::string::npos) return {};
    return corvid::to_lower(line.substr(first, line.find_last_not_of(" \t\r") - first + 1));
}

}  // namespace

answer terminal_ui::show(const box& message) {
    out << "[" << message.caption << "]\n" << message.text << "\n";
    if (message.buttons == buttons::ok) {
        out.flush();
        return answer::ok;
    }
    std::string line;
    for (;;) {  // each round consumes one line, so the end of input ends it
        out << (message.report ? "Answer y (yes), n (no) or d (show the report): " : "Answer y (yes) or n (no): ");
        out.flush();
        if (!std::getline(in, line)) {
            out << "\n";
            return answer::no;
        }
        const std::string reply = lowered_trimmed(line);
        if (reply == "y" || reply == "yes") return answer::yes;
        if (reply == "d" && message.report) {
            page("To: " + printable(message.report->recipient) + "\nSubject: " +
                 printable(message.report->subject) + "\n\n" + printable(message.report->log_utf8) + "\n");
            continue;
        }
        return answer::no;
    }
}

void terminal_ui::page(const std::string& text) {
    std::size_t at = 0;
    for (std::size_t lines = 0; at < text.size(); ++lines) {
        if (page_lines > 0 && lines == page_lines) {
            out << "-- Enter for more, q to stop --";
            out.flush();
            std::string line;
            if (!std::getline(in, line) || lowered_trimmed(line) == "q") {
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
    if (choice == "terminal") return std::make_unique<terminal_ui>(in, out, setting.page_lines);
    if (choice == "none") return std::make_unique<silent_ui>(err);
    if (!choice.empty() && choice != "gtk")
        err << "post: POST_UI is \"" << choice << "\", not gtk, terminal or none; choosing by the environment\n";
    if ((choice == "gtk" || setting.has_display) && setting.start_gtk) {
        if (auto dialogs = setting.start_gtk()) return dialogs;
        if (choice == "gtk") err << "post: the GTK dialogs cannot start; using the terminal when there is one\n";
    }
    if (setting.input_is_terminal) return std::make_unique<terminal_ui>(in, out, setting.page_lines);
    return std::make_unique<silent_ui>(err);
}

}  // namespace post
