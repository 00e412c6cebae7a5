// SPDX-License-Identifier: MIT
#include "dialogs.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>
#include <string>

namespace {

const post::report_preview report{"\"Installation Support\" <support@example.com>", "Installation Error (Exit Code: 1603)",
                                  "line one\r\n\x1b[2Jcleared?\r\n"};
const post::box question{"Installation failed", "Send it?", post::buttons::yes_no, post::icon::none, &report};

TEST(post_terminal_ui, answers) {
    struct row {
        const char* input;
        post::answer expected;
    };
    // Anything but yes, no and d asks again; the end of the input is No.
    const row rows[] = {
        {"y\n", post::answer::yes},        {" YES \n", post::answer::yes}, {"n\n", post::answer::no},
        {"no\n", post::answer::no},        {"maybe\ny\n", post::answer::yes}, {"", post::answer::no},
        {"\n\nn\n", post::answer::no},     {"d\nd\ny\n", post::answer::yes}, {"d\n", post::answer::no},
        {"maybe\n", post::answer::no},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.input);
        std::istringstream in(r.input);
        std::ostringstream out;
        post::terminal_ui dialogs(in, out);
        EXPECT_EQ(dialogs.show(question), r.expected);
        EXPECT_TRUE(out.str().starts_with("[Installation failed]\nSend it?\n"));
        const bool asked_again = std::string(r.input).find("maybe") != std::string::npos ||
                                 std::string(r.input).starts_with("\n");
        EXPECT_EQ(out.str().find("Please answer y, n or d.\n") != std::string::npos, asked_again) << out.str();
    }
}

TEST(post_terminal_ui, texts_wrap_to_the_terminal_width) {
    struct row {
        std::string text;
        std::size_t width;
        std::string wrapped;
    };
    const row rows[] = {
        {"one two three four", 9, "one two\nthree\nfour"},
        {"one two three", 0, "one two three"},
        {"a verylongword b", 4, "a\nverylongword\nb"},
        {"kept\nbreaks here", 6, "kept\nbreaks\nhere"},
        {"\xC3\xA9\xC3\xA9\xC3\xA9 ab", 6, "\xC3\xA9\xC3\xA9\xC3\xA9 ab"},  // characters, not bytes
        {"Answer y (yes): ", 15, "Answer y (yes): "},
        {"Answer y (yes): ", 14, "Answer y\n(yes): "},
    };
    for (const row& r : rows) EXPECT_EQ(post::wrap(r.text, r.width), r.wrapped) << r.text;

    std::istringstream in("n\n");
    std::ostringstream out;
    post::terminal_ui dialogs(in, out, 0, 20);
    dialogs.show({"Installation failed", "We're very sorry, but the installation failed.", post::buttons::yes_no});
    EXPECT_EQ(out.str(), "[Installation failed]\nWe're very sorry,\nbut the installation\nfailed.\nAnswer y (yes) or n\n(no): ");
}

// After a failure the terminal asks for a path: nothing skips, y takes the
// suggested one, a folder gets the suggested name, and an existing file is
// replaced only when the person says so.
TEST(post_terminal_ui, asks_where_to_save_the_report) {
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / ("post_ui_" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    const std::string suggested = (folder / "report.eml").string();
    const std::string existing = (folder / "old.eml").string();
    std::ofstream(existing) << "kept";
    struct row {
        std::string input;
        std::string path;
    };
    const row rows[] = {
        {"\n", ""},
        {"", ""},
        {"y\n", suggested},
        {std::string(" ").append(folder.string()).append(" \n"), suggested},  // appended: g++ 12 -O3 warns on " " + temporary
        {existing + "\nn\n\n", ""},
        {existing + "\nyes\n", existing},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.input);
        std::istringstream in(r.input);
        std::ostringstream out;
        post::terminal_ui dialogs(in, out);
        EXPECT_EQ(dialogs.show({"Report not submitted", "Down.", post::buttons::ok, post::icon::none, nullptr, true}),
                  post::answer::save);
        EXPECT_EQ(dialogs.save_path(suggested), r.path);
        EXPECT_NE(out.str().find("Save the report to a file? Enter a path, or nothing to skip (y saves it as " +
                                 suggested + "): "),
                  std::string::npos);
    }
    std::filesystem::remove_all(folder);
}

TEST(post_terminal_ui, d_shows_the_report_without_terminal_controls) {
    std::istringstream in("d\nn\n");
    std::ostringstream out;
    post::terminal_ui dialogs(in, out);
    EXPECT_EQ(dialogs.show(question), post::answer::no);
    const std::string text = out.str();
    EXPECT_NE(text.find("To: \"Installation Support\" <support@example.com>\nSubject: Installation Error (Exit Code: 1603)\n\n"
                        "line one\r\n\\x1b[2Jcleared?\r\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(text.find('\x1b'), std::string::npos);
}

TEST(post_terminal_ui, d_pages_the_report_until_q) {
    const post::report_preview five_lines{"r", "s", "1\n2\n3"};  // with To, Subject and a blank: 6 lines
    const post::box asked{"Installation failed", "Send it?", post::buttons::yes_no, post::icon::none, &five_lines};
    std::istringstream in("d\n\nq\ny\n");
    std::ostringstream out;
    post::terminal_ui dialogs(in, out, 2);
    EXPECT_EQ(dialogs.show(asked), post::answer::yes);
    const std::string more = "-- Enter for more, q to stop --";
    EXPECT_NE(out.str().find("To: r\nSubject: s\n" + more + "\n1\n" + more + "\n"), std::string::npos) << out.str();
    EXPECT_EQ(out.str().find("2\n"), std::string::npos) << out.str();
}

TEST(post_terminal_ui, information_boxes_and_sending_line_need_no_input) {
    std::istringstream in;
    std::ostringstream out;
    post::terminal_ui dialogs(in, out);
    EXPECT_EQ(dialogs.show({"error no", "2755", post::buttons::ok, post::icon::information}), post::answer::ok);
    dialogs.sending("mail.example.com");
    EXPECT_EQ(out.str(), "[error no]\n2755\nSending the error report to mail.example.com...\n");
}

TEST(post_silent_ui, says_no_and_tells_stderr) {
    std::ostringstream err;
    post::silent_ui dialogs(err);
    EXPECT_EQ(dialogs.show(question), post::answer::no);
    EXPECT_EQ(dialogs.show({"Report not submitted", "corvid.x[]"}), post::answer::ok);
    EXPECT_EQ(err.str(), "Report not submitted: corvid.x[]\n");
}

struct fake_gtk_ui : post::ui {
    post::answer show(const post::box&) override { return post::answer::no; }
    void sending(const std::string&) override {}
    std::string save_path(const std::string&) override { return {}; }
};

TEST(post_choose_ui, forced_then_display_then_terminal) {
    enum kind { gtk, terminal, silent };
    struct row {
        const char* requested;
        bool display, gtk_starts, terminal_input;
        kind expected;
        bool warns;
    };
    const row rows[] = {
        {"terminal", true, true, false, terminal, false}, {"none", true, true, true, silent, false},
        {nullptr, true, true, false, gtk, false},         {nullptr, true, false, true, terminal, false},
        {nullptr, false, true, true, terminal, false},    {nullptr, false, true, false, silent, false},
        {"gtk", false, true, false, gtk, false},          {"gtk", true, false, false, silent, true},
        {"qt", false, true, true, terminal, true},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(std::string(r.requested ? r.requested : "(unset)") + " display " + std::to_string(r.display) +
                     " starts " + std::to_string(r.gtk_starts) + " terminal " + std::to_string(r.terminal_input));
        std::istringstream in;
        std::ostringstream out, err;
        const post::ui_setting setting{r.requested, r.display, r.terminal_input, 0, 0, [&]() -> std::unique_ptr<post::ui> {
                                           if (!r.gtk_starts) return nullptr;
                                           return std::make_unique<fake_gtk_ui>();
                                       }};
        const auto dialogs = post::choose_ui(setting, in, out, err);
        const kind got = dynamic_cast<fake_gtk_ui*>(dialogs.get())    ? gtk
                         : dynamic_cast<post::terminal_ui*>(dialogs.get()) ? terminal
                                                                            : silent;
        EXPECT_EQ(got, r.expected);
        EXPECT_EQ(!err.str().empty(), r.warns) << err.str();
    }
}

}  // namespace
