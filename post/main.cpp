// SPDX-License-Identifier: MIT
// post: the installer's last step. Given the installer's exit code, it
// offers to mail the installation log to support.

#include "about.h"
#include "dialogs.h"
#include "gtk_ui.h"
#include "log_file.h"
#include "run.h"

#include <cstdlib>
#include <exception>
#include <iostream>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

bool is_set(const char* name) {
    const char* value = std::getenv(name);
    return value && *value;
}

// The report is paged by the terminal's height, when the output is one.
std::size_t page_lines() {
    winsize size{};
    if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0) return 0;
    return size.ws_row > 2 ? size.ws_row - 1 : 23;
}

// The texts are wrapped to its width, when it tells one.
std::size_t columns() {
    winsize size{};
    if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0) return 0;
    return size.ws_col;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    try {
        const post::settings config{POST_MAIL_HOST,   POST_SUPPORT_MAILBOX, POST_SMTP_PORT,
                                    post::tls_policy::POST_SMTP_TLS,
                                    POST_TLS_CA_FILE, POST_REPORT_FROM,     POST_HELO_NAME,
                                    post::default_report_path(std::getenv("HOME"))};
        // Before any dialog: --version must work where GTK cannot start.
        if (post::answer_about(args, config, std::cout)) return 0;
        const post::ui_setting where{std::getenv("POST_UI"),
                                     is_set("DISPLAY") || is_set("WAYLAND_DISPLAY"),
                                     ::isatty(STDIN_FILENO) == 1,
                                     page_lines(),
                                     columns(),
                                     post::start_gtk_ui};
        const auto dialogs = post::choose_ui(where, std::cin, std::cout, std::cerr);
        post::log_file log("install.txt");
        return post::run(args, *dialogs, log, config);
    } catch (const std::exception& failure) {
        // Only the send has a box for its failures; anything else is told
        // here, and the installer still sees 0 since the log was there.
        std::cerr << "post: " << failure.what() << "\n";
        return 0;
    }
}
