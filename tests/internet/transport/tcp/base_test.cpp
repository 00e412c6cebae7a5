// SPDX-License-Identifier: MIT
#include <corvid/internet/transport/tcp/base.h>

#include "tests/support/line_cases.h"
#include "tests/support/scripted_stream.h"
#include "tests/support/throws.h"

#include <gtest/gtest.h>

#include <deque>
#include <random>
#include <string>
#include <vector>

namespace {

using corvid::line_end;
using corvid::internet::transport::tcp::base;

// A scripted stream that also collects its lines.
class scripted : public corvid::test::scripted_stream {
public:
    using scripted_stream::scripted_stream;

    // Every line read_line gives until a receive fails; with ends, asks the
    // line-end form and collects what it reports.
    std::vector<std::string> lines(std::vector<line_end>* ends = nullptr) {
        std::vector<std::string> result;
        try {
            for (std::string line;;) {
                line_end end = line_end::none;
                if (ends != nullptr) {
                    read_line(line, end);
                    ends->push_back(end);
                } else {
                    read_line(line);
                }
                result.push_back(line);
            }
        } catch (const connection_failed&) {
        }
        return result;
    }
};

using lines = std::vector<std::string>;

TEST(tcp_base, one_receive_with_two_lines_needs_one_fill) {
    scripted s({"220 ready\r\n250 ok\r\n"});
    std::string line;
    s.read_line(line);
    EXPECT_EQ(line, "220 ready");
    s.read_line(line);
    EXPECT_EQ(line, "250 ok");
    EXPECT_EQ(s.fills, 1);
}

TEST(tcp_base, each_line_end_counts_once_wherever_the_receives_split) {
    for (const auto& c : corvid::test::line_cases()) {
        std::vector<std::deque<std::string>> splits = {{c.text}, {}};
        for (char byte : c.text) splits[1].emplace_back(1, byte);
        for (std::size_t cut = 1; cut < c.text.size(); ++cut)
            splits.push_back({c.text.substr(0, cut), c.text.substr(cut)});
        for (const auto& pieces : splits) {
            std::string where = testing::PrintToString(pieces);
            EXPECT_EQ(scripted(pieces).lines(), c.lines) << where;
            // A last byte that is a line end waits for the next receive.
            auto followed = pieces;
            followed.push_back("z");
            std::vector<line_end> ends;
            EXPECT_EQ(scripted(followed).lines(&ends), c.lines) << where;
            EXPECT_EQ(ends, c.ends) << where;
        }
    }
}

TEST(tcp_base, agrees_with_the_plain_rule_on_random_texts) {
    std::mt19937 random(11);
    std::vector<std::size_t> cuts;
    for (int round = 0; round < 1000; ++round) {
        std::string text = corvid::test::random_text(random, cuts);
        std::deque<std::string> pieces;
        std::size_t from = 0;
        for (std::size_t cut : cuts) {
            pieces.push_back(text.substr(from, cut - from));
            from = cut;
        }
        pieces.push_back(text.substr(from));
        lines expected = corvid::test::plain_lines(text);
        expected.pop_back();  // never handed out without its line end
        ASSERT_EQ(scripted(pieces).lines(), expected) << testing::PrintToString(text);
    }
}

TEST(tcp_base, pair_split_across_calls_is_one_line_end) {
    // The plain form never receives for the second half; it is dropped later.
    scripted s({"a\r"});
    std::string line;
    s.read_line(line);
    EXPECT_EQ(line, "a");
    s.pieces = {"\n", "b\r\n"};
    s.read_line(line);
    EXPECT_EQ(line, "b");
    EXPECT_EQ(s.fills, 3);
}

TEST(tcp_base, line_end_form_keeps_the_line_when_the_extra_receive_fails) {
    scripted s({"a\r"});
    std::string line = "untouched";
    line_end end = line_end::none;
    EXPECT_THROW(s.read_line(line, end), base::connection_closed);
    EXPECT_EQ(line, "untouched");
    EXPECT_EQ(end, line_end::none);
    s.pieces = {"\nb", "c"};
    s.read_line(line, end);
    EXPECT_EQ(line, "a");
    EXPECT_EQ(end, line_end::cr_lf);
    // Both halves were consumed.
    s.read(line);
    EXPECT_EQ(line, "bc");
}

TEST(tcp_base, settle_line_end_tells_a_late_second_half) {
    struct row {
        std::deque<std::string> pieces;  // the first holds the line
        line_end settled;
        std::string next;  // the line after it
    };
    const row rows[] = {
        {{"DATA\r", "\n.\r\n"}, line_end::cr_lf, "."},
        {{"DATA\n", "\r.\r\n"}, line_end::lf_cr, "."},
        {{"DATA\n", ".\r\n"}, line_end::lf, "."},
        {{"DATA\r\n.\r\n"}, line_end::cr_lf, "."},  // known without a receive
    };
    for (const row& r : rows) {
        scripted s(r.pieces);
        std::string line;
        s.read_line(line);
        EXPECT_EQ(s.settle_line_end(), r.settled);
        EXPECT_EQ(s.settle_line_end(), r.settled);  // asking again receives nothing
        s.read_line(line);
        EXPECT_EQ(line, r.next);
    }
    scripted failing({"DATA\r"});
    std::string line;
    failing.read_line(line);
    EXPECT_THROW(failing.settle_line_end(), base::connection_closed);
    failing.pieces = {"\nx\r\n"};
    EXPECT_EQ(failing.settle_line_end(), line_end::cr_lf);
    failing.read_line(line);
    EXPECT_EQ(line, "x");
}

TEST(tcp_base, failed_receive_keeps_what_arrived) {
    scripted s({"par", "tial"});
    std::string line = "untouched";
    EXPECT_THROW(s.read_line(line), base::connection_closed);
    EXPECT_EQ(line, "untouched");
    s.pieces = {" line\r\nnext"};
    s.read_line(line);
    EXPECT_EQ(line, "partial line");
    // Text after the last line end is never handed out as a line.
    EXPECT_THROW(s.read_line(line), base::connection_closed);
}

TEST(tcp_base, long_lines_and_many_lines_come_out_whole) {
    std::string big(10000, 'x');
    std::deque<std::string> pieces;
    for (std::size_t at = 0; at < big.size(); at += 4096) pieces.push_back(big.substr(at, 4096));
    pieces.push_back("\r\n");
    std::string many;
    for (int i = 0; i < 2000; ++i) many += std::to_string(i) + "\r\n";
    pieces.push_back(many);
    lines got = scripted(pieces).lines();
    ASSERT_EQ(got.size(), 2001u);
    EXPECT_EQ(got[0], big);
    EXPECT_EQ(got[1], "0");
    EXPECT_EQ(got[2000], "1999");
}

TEST(tcp_base, line_without_an_end_is_bounded) {
    scripted s({"0123", "456789", "abc", "\r\n"});
    s.set_max_line_length(10);
    std::string line;
    EXPECT_EQ(corvid::test::what_of<base::line_too_long>([&] { s.read_line(line); }),
              "internet.transport.line_too_long[read_line() found no line end within 10 bytes]");
    EXPECT_EQ(s.fills, 3);  // no receive beyond the limit
    s.set_max_line_length(0);
    s.read_line(line);  // nothing was lost
    EXPECT_EQ(line, "0123456789abc");

    scripted exact({"0123456789", "\n"});
    exact.set_max_line_length(10);
    exact.read_line(line);
    EXPECT_EQ(line, "0123456789");
    EXPECT_EQ(scripted().max_line_length(), base::default_max_line_length);
}

TEST(tcp_base, skip_line_drops_a_long_line_and_reading_goes_on) {
    std::deque<std::string> pieces(300, std::string(4096, 'x'));
    pieces.back() += "\r";
    pieces.insert(pieces.end(), {"\n", "next\r\n"});
    scripted s(pieces);
    s.set_max_line_length(10000);
    std::string line;
    EXPECT_THROW(s.read_line(line), base::line_too_long);
    s.skip_line();
    s.read_line(line);
    EXPECT_EQ(line, "next");
    EXPECT_EQ(s.fills, 302);

    scripted unended({"abc"});
    EXPECT_THROW(unended.skip_line(), base::connection_closed);
}

TEST(tcp_base, read_hands_out_the_buffer_and_one_receive) {
    scripted s({"x\ny", "z"});
    std::string text;
    s.read_line(text);
    EXPECT_EQ(text, "x");
    s.read(text);
    EXPECT_EQ(text, "yz");
    EXPECT_EQ(s.fills, 2);
    EXPECT_THROW(s.read(text), base::connection_closed);
}

TEST(tcp_base, bytes_that_read_handed_out_end_a_pending_pair) {
    // After "x" CR and a read of other bytes, a lone LF is a line end of its
    // own, not the second half of that CR.
    scripted s({"x\r", "y", "\n"});
    std::string text;
    s.read_line(text);
    s.read(text);
    EXPECT_EQ(text, "y");
    s.read_line(text);
    EXPECT_EQ(text, "");

    // A second half that arrives later is no byte of the data.
    scripted t({"x\r", "\ny"});
    t.read_line(text);
    t.read(text);
    EXPECT_EQ(text, "y");
}

TEST(tcp_base, writes_collect_until_flushed) {
    scripted s;
    s.write("MAIL ", false);
    s.write_line("FROM:<a@b>", false);
    EXPECT_TRUE(s.sent.empty());
    s.write_line("QUIT", true);
    ASSERT_EQ(s.sent, (lines{"MAIL FROM:<a@b>\r\nQUIT\r\n"}));
    s.write("", true);
    s.write(std::string("\0\x01", 2), true);
    EXPECT_EQ(s.sent.back(), std::string("\0\x01", 2));
}

}  // namespace
