#include <corvid/internet/transport/tcp/base.h>

#include "tests/support/throws.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

namespace {

using corvid::internet::transport::tcp::base;

// A stream whose receives are scripted pieces and whose sends are recorded.
// Once the pieces run out, a receive fails as a closed connection would.
class scripted : public base {
public:
    explicit scripted(std::deque<std::string> pieces = {}) : pieces(std::move(pieces)) {}

    void fill() override {
        if (pieces.empty()) throw connection_closed("recv() failed");
        append_input(pieces.front().data(), pieces.front().size());
        pieces.pop_front();
        ++fills;
    }
    void flush() override {
        if (!output_empty()) sent.push_back(take_output());
    }

    // Every line read_line gives until a receive fails.
    std::vector<std::string> lines() {
        std::vector<std::string> result;
        try {
            for (std::string line;;) {
                read_line(line);
                result.push_back(line);
            }
        } catch (const connection_failed&) {
        }
        return result;
    }

    std::deque<std::string> pieces;
    std::vector<std::string> sent;
    int fills = 0;
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

TEST(tcp_base, each_terminator_ends_one_line_wherever_the_receives_split) {
    for (std::string end : {"\r", "\n", "\r\n", "\n\r"}) {
        std::string text = "a" + end + "b" + end;
        for (std::size_t cut = 1; cut < text.size(); ++cut) {
            scripted s({text.substr(0, cut), text.substr(cut)});
            EXPECT_EQ(s.lines(), (lines{"a", "b"})) << "cut " << cut << " of terminator " << end.size();
        }
        std::deque<std::string> bytes;
        for (char c : text) bytes.emplace_back(1, c);
        EXPECT_EQ(scripted(bytes).lines(), (lines{"a", "b"}));
    }
}

TEST(tcp_base, doubled_terminators_end_an_empty_line) {
    EXPECT_EQ(scripted({"a\r", "\nb\r\n"}).lines(), (lines{"a", "b"}));
    EXPECT_EQ(scripted({"a\n\rb\n"}).lines(), (lines{"a", "b"}));
    EXPECT_EQ(scripted({"a\r\rb\r"}).lines(), (lines{"a", "", "b"}));
    EXPECT_EQ(scripted({"a\r\n\r\n"}).lines(), (lines{"a", ""}));
    EXPECT_EQ(scripted({"a\n", "\n", "\n"}).lines(), (lines{"a", "", ""}));
    EXPECT_EQ(scripted({"\r\n\r\n"}).lines(), (lines{"", ""}));
}

TEST(tcp_base, pair_split_across_calls_is_one_line_end) {
    scripted s({"a\r"});
    std::string line;
    s.read_line(line);
    EXPECT_EQ(line, "a");
    s.pieces = {"\n", "b\r\n"};
    s.read_line(line);
    EXPECT_EQ(line, "b");
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
    EXPECT_EQ(corvid::test::what_of<corvid::internet::transport::generic>([&] { s.read_line(line); }),
              "internet.transport[read_line() found no line end within 10 bytes]");
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
