// SPDX-License-Identifier: MIT
#include <corvid/line_writer.h>

#include <gtest/gtest.h>

#include <list>
#include <string>
#include <vector>

namespace {

TEST(line_writer_test, every_line_ends_in_crlf) {
    corvid::line_writer writer(std::vector<std::string>{"a", ""});
    std::string text = "old";
    EXPECT_EQ(writer.take_text(text), 5u);
    EXPECT_EQ(text, "a\r\n\r\n");
    EXPECT_EQ(writer.take_text(text), 0u);
    EXPECT_EQ(text, "");

    corvid::line_writer one("x");
    one.put_lines(std::list<std::string>{"y", "z"});
    one.put_line(std::string("\0", 1));
    EXPECT_EQ(one.take_text(text), 12u);
    EXPECT_EQ(text, std::string("x\r\ny\r\nz\r\n\0\r\n", 12));
    EXPECT_EQ(corvid::line_writer(std::list<std::string>{"l"}).take_text(text), 3u);
}

TEST(line_writer_test, extract_hands_out_the_front_in_pieces) {
    corvid::line_writer writer("abc");
    char buffer[8] = {};
    EXPECT_EQ(writer.extract(buffer, 2), 2u);
    EXPECT_EQ(std::string(buffer, 2), "ab");
    EXPECT_EQ(writer.size(), 3u);
    writer.put_line("d");
    EXPECT_EQ(writer.extract(buffer, 0), 0u);
    EXPECT_EQ(writer.extract(buffer, sizeof buffer), 6u);
    EXPECT_EQ(std::string(buffer, 6), "c\r\nd\r\n");
    EXPECT_EQ(writer.extract(buffer, sizeof buffer), 0u);

    // take_text after a partial extract gives only what is left.
    writer.put_line("hello");
    writer.extract(buffer, 3);
    std::string rest;
    EXPECT_EQ(writer.take_text(rest), 4u);
    EXPECT_EQ(rest, "lo\r\n");
    EXPECT_EQ(writer.size(), 0u);
}

TEST(line_writer_test, interleaved_put_and_extract_keep_order) {
    corvid::line_writer writer;
    std::string expected, got;
    char buffer[7];
    for (int i = 0; i < 2000; ++i) {
        std::string line(static_cast<std::size_t>(i % 13), static_cast<char>('a' + i % 26));
        writer.put_line(line);
        expected += line + "\r\n";
        got.append(buffer, writer.extract(buffer, sizeof buffer));
    }
    std::string rest;
    writer.take_text(rest);
    EXPECT_EQ(got + rest, expected);
}

}  // namespace
