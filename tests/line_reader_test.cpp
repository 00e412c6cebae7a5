// SPDX-License-Identifier: MIT
#include <corvid/line_reader.h>

#include "tests/support/line_cases.h"

#include <gtest/gtest.h>

#include <deque>
#include <list>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

using lines = std::vector<std::string>;

// Every line of a finished text given in one piece.
lines read_all(const std::string& text) {
    corvid::line_reader reader(text);
    reader.finish();
    lines out;
    reader.get_lines(out);
    return out;
}

// The same text fed in pieces cut at the given offsets, finishing at the end.
lines read_in_pieces(const std::string& text, const std::vector<std::size_t>& cuts) {
    corvid::line_reader reader;
    lines out;
    std::size_t start = 0;
    for (std::size_t cut : cuts) {
        reader.append(text.substr(start, cut - start));
        reader.get_lines(out);
        start = cut;
    }
    reader.append(text.substr(start));
    reader.finish();
    reader.get_lines(out);
    return out;
}

TEST(line_reader_test, each_terminator_ends_one_line) {
    EXPECT_EQ(read_all("a\r\nb\r\n"), (lines{"a", "b", ""}));
    EXPECT_EQ(read_all("x\n\ry"), (lines{"x", "y"}));
    EXPECT_EQ(read_all("x\ry"), (lines{"x", "y"}));
    EXPECT_EQ(read_all("x\ny"), (lines{"x", "y"}));
    EXPECT_EQ(read_all("x\r\ry"), (lines{"x", "", "y"}));
    EXPECT_EQ(read_all("x\n\ny"), (lines{"x", "", "y"}));
    // CR LF CR LF is two terminators, LF CR LF likewise (LF CR, then LF).
    EXPECT_EQ(read_all("x\r\n\r\ny"), (lines{"x", "", "y"}));
    EXPECT_EQ(read_all("x\n\r\ny"), (lines{"x", "", "y"}));
    EXPECT_EQ(read_all("\r\n"), (lines{"", ""}));
    EXPECT_EQ(read_all("\n\n\n"), (lines{"", "", "", ""}));
}

TEST(line_reader_test, finish_hands_out_the_partial_line_once) {
    EXPECT_EQ(read_all(""), (lines{""}));
    EXPECT_EQ(read_all("tail"), (lines{"tail"}));
    corvid::line_reader reader("only");
    reader.finish();
    std::string line = "stale";
    ASSERT_TRUE(reader.get_line(line));
    EXPECT_EQ(line, "only");
    EXPECT_FALSE(reader.get_line(line));
    EXPECT_FALSE(reader.get_line(line));
}

TEST(line_reader_test, without_finish_the_partial_line_waits) {
    corvid::line_reader reader("x\r\ny");
    std::string line;
    ASSERT_TRUE(reader.get_line(line));
    EXPECT_EQ(line, "x");
    EXPECT_FALSE(reader.get_line(line));
    reader.append("z\n");
    ASSERT_TRUE(reader.get_line(line));
    EXPECT_EQ(line, "yz");
    EXPECT_FALSE(reader.get_line(line));
    reader.finish();
    ASSERT_TRUE(reader.get_line(line));
    EXPECT_EQ(line, "");
    EXPECT_FALSE(reader.get_line(line));
}

TEST(line_reader_test, a_terminator_split_across_appends_counts_once) {
    for (const auto& c : corvid::test::line_cases()) {
        lines expected = c.lines;
        expected.push_back(c.tail);
        // Every way of cutting the text once and twice, empty pieces included.
        for (std::size_t i = 0; i <= c.text.size(); ++i) {
            EXPECT_EQ(read_in_pieces(c.text, {i}), expected) << "cut at " << i << " of " << testing::PrintToString(c.text);
            for (std::size_t j = i; j <= c.text.size(); ++j)
                EXPECT_EQ(read_in_pieces(c.text, {i, j}), expected) << "cuts " << i << "," << j;
        }
    }
}

TEST(line_reader_test, agrees_with_the_plain_rule_on_random_texts) {
    std::mt19937 random(7);
    std::vector<std::size_t> cuts;
    for (int round = 0; round < 2000; ++round) {
        std::string text = corvid::test::random_text(random, cuts);
        ASSERT_EQ(read_in_pieces(text, cuts), corvid::test::plain_lines(text))
            << testing::PrintToString(text);
    }
}

TEST(line_reader_test, byte_by_byte_equals_whole) {
    std::string text = "first\r\nsecond\n\rthird\r\r\n\nfourth\n";
    text += std::string(5000, 'L') + "\r\n" + std::string(1, '\0') + "\xFF\r";
    std::vector<std::size_t> cuts;
    for (std::size_t i = 1; i < text.size(); ++i) cuts.push_back(i);
    lines whole = read_all(text);
    EXPECT_EQ(read_in_pieces(text, cuts), whole);
    ASSERT_EQ(whole.size(), 9u);
    // "third" CR CR LF LF: an empty line from CR CR, the LF after it closes
    // that pair, and the last LF ends another empty line.
    EXPECT_EQ(whole[3], "");
    EXPECT_EQ(whole[4], "");
    EXPECT_EQ(whole[6].size(), 5000u);
    EXPECT_EQ(whole[7], std::string("\0\xFF", 2));
    EXPECT_EQ(whole[8], "");
}

TEST(line_reader_test, append_after_the_last_line_starts_again) {
    corvid::line_reader reader("a\r");
    reader.finish();
    lines out;
    reader.get_lines(out);
    EXPECT_EQ(out, (lines{"a", ""}));
    // The terminator memory was reset by the final line: this LF is a new one.
    reader.append("\nb");
    reader.finish();
    reader.get_lines(out);
    EXPECT_EQ(out, (lines{"a", "", "", "b"}));
}

TEST(line_reader_test, get_lines_fills_any_sequence) {
    corvid::line_reader reader("1\n2\n3");
    std::deque<std::string> front;
    EXPECT_EQ(reader.get_lines(front), 2u);
    EXPECT_EQ(front, (std::deque<std::string>{"1", "2"}));
    reader.finish();
    std::list<std::string> rest{"0"};
    EXPECT_EQ(reader.get_lines(rest), 1u);
    EXPECT_EQ(rest, (std::list<std::string>{"0", "3"}));
}

TEST(line_reader_test, many_lines_in_a_large_text) {
    // Mixed ends, and CR only: a search for LF must not run to the end of
    // the text at every line.
    for (const auto& [odd, even] : {std::pair{"\r\n", "\n"}, std::pair{"\r", "\r"}}) {
        std::string text;
        for (int i = 0; i < 200000; ++i) text += "line " + std::to_string(i) + (i % 2 ? odd : even);
        corvid::line_reader reader(std::move(text));
        reader.finish();
        std::string line;
        int count = 0;
        while (reader.get_line(line)) {
            if (count < 200000) {
                ASSERT_EQ(line, "line " + std::to_string(count));
            }
            ++count;
        }
        EXPECT_EQ(count, 200001);
        EXPECT_EQ(line, "");
    }
}

}  // namespace
