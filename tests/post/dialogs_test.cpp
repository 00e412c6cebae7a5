#include "dialogs.h"

#include <gtest/gtest.h>

#include <sstream>
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
    const row rows[] = {
        {"y\n", post::answer::yes},   {" YES \n", post::answer::yes}, {"n\n", post::answer::no},
        {"no\n", post::answer::no},   {"maybe\ny\n", post::answer::no}, {"", post::answer::no},
        {"\n", post::answer::no},     {"d\nd\ny\n", post::answer::yes}, {"d\n", post::answer::no},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.input);
        std::istringstream in(r.input);
        std::ostringstream out;
        post::terminal_ui dialogs(in, out);
        EXPECT_EQ(dialogs.show(question), r.expected);
        EXPECT_TRUE(out.str().starts_with("[Installation failed]\nSend it?\n"));
    }
}

TEST(post_terminal_ui, d_shows_the_report_without_terminal_controls) {
    std::istringstream in("d\nn\n");
    std::ostringstream out;
    post::terminal_ui dialogs(in, out);
    EXPECT_EQ(dialogs.show(question), post::answer::no);
    const std::string text = out.str();
    EXPECT_NE(text.find("To: \"Installation Support\" <support@example.com>\nSubject: Installation Error (Exit Code: 1603)\n\n"
                        "line one\r\n?[2Jcleared?\r\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(text.find('\x1b'), std::string::npos);
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

TEST(post_choose_ui, environment_then_terminal) {
    std::istringstream in;
    std::ostringstream out;
    struct row {
        const char* requested;
        bool terminal;
        bool expect_terminal;
    };
    const row rows[] = {{"terminal", false, true}, {"none", true, false}, {nullptr, true, true},
                        {nullptr, false, false},   {"gtk", true, true},   {"gtk", false, false}};
    for (const row& r : rows) {
        const auto dialogs = post::choose_ui(r.requested, r.terminal, in, out, out);
        EXPECT_EQ(dynamic_cast<post::terminal_ui*>(dialogs.get()) != nullptr, r.expect_terminal)
            << (r.requested ? r.requested : "(unset)") << " " << r.terminal;
    }
}

}  // namespace
