// SPDX-License-Identifier: MIT
#include <corvid/coding/uu.h>

#include <gtest/gtest.h>

#include <corvid/coding/errors.h>

#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <unistd.h>

namespace cc = corvid::coding;
using namespace std::string_literals;

namespace {

TEST(uu_test, space_and_back_quote_are_both_zero) {
    EXPECT_EQ(cc::uu_decode("    ", true), "\0\0\0"s);
    EXPECT_EQ(cc::uu_decode("````", true), "\0\0\0"s);
    EXPECT_EQ(cc::uu_encode("\0\0\0"s), "    ");
    EXPECT_EQ(cc::uu_encode("Cat"), "0V%T");
    EXPECT_EQ(cc::uu_decode("0V%T", true), "Cat");
    EXPECT_EQ(cc::uu_encode("C"), "0P");
    EXPECT_EQ(cc::uu_encode(std::uint64_t{0}), " ");
    EXPECT_EQ(cc::uu_encode(63), "_");
}

TEST(uu_test, bytes_outside_the_alphabet) {
    EXPECT_THROW(cc::uu_decode("0V%a", true), cc::translate::invalid_codeword);
    EXPECT_EQ(cc::uu_decode("0V\n%T", false), "Cat");
    std::uint64_t value = 0;
    EXPECT_THROW(cc::uu_decode("!~", value, true), cc::translate::invalid_codeword);
    EXPECT_EQ(value, 1u);
}

// The body lines that the system's uuencode writes, each decoded without
// its length character, give the original bytes.
TEST(uu_test, decodes_the_lines_of_the_system_uuencode) {
    std::mt19937 random(4);
    std::string bytes(1000, '\0');
    for (char& byte : bytes) byte = static_cast<char>(random());
    char name[] = "/tmp/corvid_uu_XXXXXX";
    int fd = mkstemp(name);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    close(fd);

    std::string command = "uuencode " + std::string(name) + " x 2>/dev/null";
    std::FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string encoded;
    char block[4096];
    std::size_t got;
    while ((got = std::fread(block, 1, sizeof block, pipe)) > 0) encoded.append(block, got);
    int status = pclose(pipe);
    unlink(name);
    if (status != 0) GTEST_SKIP() << "no uuencode on this machine";

    std::istringstream lines(encoded);
    std::string line, decoded;
    std::getline(lines, line);  // begin
    while (std::getline(lines, line) && line != "end") {
        if (line.empty()) continue;
        std::size_t length = (static_cast<unsigned char>(line[0]) - 32u) & 63u;
        std::string piece = cc::uu_decode(line.substr(1), true);
        ASSERT_GE(piece.size(), length);
        decoded += piece.substr(0, length);
    }
    EXPECT_EQ(decoded, bytes);
}

}  // namespace
