// SPDX-License-Identifier: MIT
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
        {"199 x\r\n", "199", {"x"}},  // the step decides whether it may take it
        {"550-first\r\n550 last\r\n", "smtp.permanent_failure[550 last]", {"first", "last"}},
        {"421 closing\r\n", "smtp.temporary_failure[421 closing]", {"closing"}},
        // Three digits, then a space, a hyphen or the end; one code a reply.
        {"abc def\r\n", "smtp.protocol_error[Bad response: abc def]", {}},
        {"2x0 y\r\n", "smtp.protocol_error[Bad response: 2x0 y]", {}},
        {" 250 y\r\n", "smtp.protocol_error[Bad response:  250 y]", {}},
        {"450-first\r\n250 last\r\n", "smtp.protocol_error[Mixed reply codes: 250 last]", {"first"}},
        {"250-first\r\n550 last\r\n", "smtp.protocol_error[Mixed reply codes: 550 last]", {"first"}},
        {"25\r\n", "smtp.protocol_error[Bad response: 25]", {}},
        {"250-a\r\n25\r\n", "smtp.protocol_error[Bad response: 25]", {"a"}},
        {"\r\n", "smtp.protocol_error[Bad response: ]", {}},
        {"250xOK\r\n", "smtp.protocol_error[Invalid character: 250xOK]", {"OK"}},
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
    EXPECT_EQ(outcome_of(many + "250-one more\r\n250 last\r\n", stored), "smtp.protocol_error[Excess response: 250-one more]");
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

TEST(smtp_send_text, doubles_a_leading_dot_in_large_pieces) {
    scripted_stream stream;
    smtp::send_text(stream, {".", ".x", "x.", "", "..", "a"});
    EXPECT_EQ(stream.sent, texts{"..\r\n..x\r\nx.\r\n\r\n...\r\na\r\n"});
    // 20,000 lines of a text go out in a few pieces, not a write a line.
    std::string text;
    for (int i = 0; i < 20000; ++i) text += ".line\r\n";
    scripted_stream large;
    smtp::send_text(large, text);
    EXPECT_LE(large.sent.size(), 4u);
    EXPECT_EQ(large.output().size(), text.size() + 20000);
}

TEST(smtp_examine_text, finds_what_must_be_known_before_mail) {
    const std::string long_line(999, 'x');
    struct fact_case {
        std::string text;
        std::size_t bare, long_at;
        bool eight_bit, in_header;
    };
    const fact_case cases[] = {
        {"Subject: a\r\n\r\nbody\r\n", 0, 0, false, false},
        {"a\r\nb\nc\r\n", 2, 0, false, false},
        {"a\r\n\r", 2, 0, false, false},
        {"a\r\n" + long_line.substr(1) + "\r\n" + long_line + "\r\n", 0, 3, false, false},
        {"Subject: a\r\n\r\nbody \xc3\xa9\r\n", 0, 0, true, false},
        {"Subject: \xc3\xa9\r\n\r\nbody\r\n", 0, 0, true, true},
    };
    for (const auto& c : cases) {
        const smtp::text_facts facts = smtp::examine_text(c.text);
        EXPECT_EQ(facts.bare_line_break, c.bare) << c.text;
        EXPECT_EQ(facts.long_line, c.long_at) << c.text;
        EXPECT_EQ(facts.eight_bit, c.eight_bit) << c.text;
        EXPECT_EQ(facts.eight_bit_header, c.in_header) << c.text;
    }
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
