// SPDX-License-Identifier: MIT
#include "about.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace {

post::settings sample() {
    post::settings config;
    config.mail_host = "mail.example.com";
    config.support_mailbox = "support@example.com";
    config.port = 587;
    config.tls = post::tls_policy::required;
    config.report_from = "\"Installation error report\" <installer@example.com>";
    return config;
}

TEST(post_about, version_and_help_name_where_reports_go) {
    for (const char* option : {"--version", "--help"}) {
        std::ostringstream out;
        EXPECT_TRUE(post::answer_about({option}, sample(), out)) << option;
        const std::string text = out.str();
        EXPECT_EQ(text.rfind(option == std::string("--version") ? "post " : "Usage: post EXIT-CODE", 0), 0u)
            << text;
        for (const char* expected : {"mail.example.com", "587", "support@example.com", "required",
                                     "(the system's store)", "<installer@example.com>"})
            EXPECT_NE(text.find(expected), std::string::npos) << option << " lacks " << expected << ":\n" << text;
    }
}

// Anything else is the installer's exit code, read as it always was: only
// the two options alone answer, so an installer's odd argument never stops
// a report.
TEST(post_about, any_other_command_line_is_left_to_the_run) {
    const std::vector<std::vector<std::string>> others = {
        {}, {"1603"}, {"--version", "1603"}, {"1603", "--help"}, {"--versions"}, {"-v"}, {"-h"}, {"--VERSION"}, {" --help"}};
    for (const auto& args : others) {
        std::ostringstream out;
        EXPECT_FALSE(post::answer_about(args, sample(), out)) << (args.empty() ? "(none)" : args[0]);
        EXPECT_TRUE(out.str().empty());
    }
}

}  // namespace
