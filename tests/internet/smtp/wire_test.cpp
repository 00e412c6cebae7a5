#include <corvid/internet/smtp/wire.h>

#include "tests/support/scripted_stream.h"
#include "tests/support/throws.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

namespace smtp = corvid::internet::smtp;
using corvid::test::scripted_stream;
using texts = std::vector<std::string>;

struct reply_case {
    std::string input;
    std::string outcome;  // the code, or what() of the smtp error
    texts stored;
};

std::string outcome_of(const std::string& input, texts& stored) {
    scripted_stream stream({input});
    stored = {"left from before"};
    try {
        return std::to_string(smtp::read_reply(stream, stored));
    } catch (const smtp::generic& e) {
        return e.what();
    }
}

TEST(smtp_read_reply, codes_texts_and_errors) {
    const reply_case cases[] = {
        {"250 OK\r\n", "250", {"OK"}},
        {"250\r\n", "250", {}},
        {"250-Hello\r\n250-AUTH LOGIN PLAIN\r\n250 SIZE 1000\r\n", "250", {"Hello", "AUTH LOGIN PLAIN", "SIZE 1000"}},
        {"250-\r\n250 x\r\n", "250", {"", "x"}},
        {"354 Go ahead\r\n", "354", {"Go ahead"}},
        {"199 x\r\n", "199", {"x"}},
        {"abc def\r\n", "0", {"def"}},
        {"2x0 y\r\n", "2", {"y"}},
        // Only the last line is classified.
        {"450-first\r\n250 last\r\n", "250", {"first", "last"}},
        {"250-first\r\n550 last\r\n", "smtp.permanent_failure[550 last]", {"first", "last"}},
        {"421 closing\r\n", "smtp.temporary_failure[421 closing]", {"closing"}},
        {"25\r\n", "smtp[Bad response: 25]", {}},
        {"250-a\r\n25\r\n", "smtp[Bad response: 25]", {"a"}},
        {"\r\n", "smtp[Bad response: ]", {}},
        {"250xOK\r\n", "smtp[Invalid character: 250xOK]", {"OK"}},
        // Every line end reads alike.
        {"250-a\n250-b\n\r250-c\r250 d\r\n", "250", {"a", "b", "c", "d"}},
    };
    for (const auto& c : cases) {
        texts stored;
        EXPECT_EQ(outcome_of(c.input, stored), c.outcome) << c.input;
        EXPECT_EQ(stored, c.stored) << c.input;
    }
}

TEST(smtp_read_reply, at_most_128_continuation_lines) {
    std::string many;
    for (int i = 0; i < 128; ++i) many += "250-x\r\n";
    texts stored;
    EXPECT_EQ(outcome_of(many + "250 last\r\n", stored), "250");
    EXPECT_EQ(stored.size(), 129u);
    EXPECT_EQ(outcome_of(many + "250-one more\r\n250 last\r\n", stored), "smtp[Excess response: 250-one more]");
}

TEST(smtp_read_reply, transport_failures_pass_unchanged) {
    scripted_stream stream({"250-half"});
    texts stored;
    EXPECT_THROW(smtp::read_reply(stream, stored), scripted_stream::connection_closed);
}

TEST(smtp_command, writes_one_line_and_reads_its_reply) {
    scripted_stream stream({"250 ok\r\n"});
    texts stored;
    EXPECT_EQ(smtp::command(stream, "MAIL FROM: <>", stored), 250);
    EXPECT_EQ(stream.sent, texts{"MAIL FROM: <>\r\n"});
    for (std::string line : {"RCPT TO: <a>\r\nDATA", "x\ny", "x\r"}) {
        EXPECT_EQ(corvid::test::what_of<smtp::generic>([&] { smtp::command(stream, line, stored); }),
                  "smtp[command line holds CR or LF]");
    }
    EXPECT_EQ(stream.sent.size(), 1u);  // nothing more went out
}

TEST(smtp_send_text, doubles_a_leading_dot) {
    scripted_stream stream;
    smtp::send_text(stream, {".", ".x", "x.", "", "..", "a"});
    EXPECT_EQ(stream.output(), "..\r\n..x\r\nx.\r\n\r\n...\r\na\r\n");
}

TEST(smtp_exchange_deadline, follows_the_receive_timeout_and_nests) {
    scripted_stream stream;
    {
        smtp::exchange_deadline none(stream);
        EXPECT_FALSE(stream.deadline());
    }
    stream.pretend_receive_timeout(60000);
    {
        smtp::exchange_deadline outer(stream);
        auto first = stream.deadline();
        ASSERT_TRUE(first);
        {
            smtp::exchange_deadline inner(stream);
            EXPECT_EQ(stream.deadline(), first);  // the earlier end holds
        }
        EXPECT_EQ(stream.deadline(), first);
    }
    EXPECT_FALSE(stream.deadline());
}

}  // namespace
