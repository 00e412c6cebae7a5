// SPDX-License-Identifier: MIT
#include <corvid/coding/md5.h>

#include <gtest/gtest.h>

#include <corvid/coding/base64.h>
#include <corvid/coding/hex.h>
#include <corvid/exception.h>

#include <cstdio>
#include <cstdint>
#include <random>
#include <string>
#include <unistd.h>

namespace cc = corvid::coding;

namespace {

// Feeds pieces to the system's md5sum through a pipe and returns its digest.
class md5sum_pipe {
public:
    md5sum_pipe() : pipe(popen(("md5sum > " + out_name()).c_str(), "w")) {}
    ~md5sum_pipe() {
        if (pipe) pclose(pipe);
        std::remove(out_name().c_str());
    }
    bool ok() const { return pipe != nullptr; }
    void write(const std::string& piece) { ASSERT_EQ(std::fwrite(piece.data(), 1, piece.size(), pipe), piece.size()); }
    std::string digest() {
        int status = pclose(pipe);
        pipe = nullptr;
        if (status != 0) return "";
        std::FILE* in = std::fopen(out_name().c_str(), "r");
        if (!in) return "";
        char line[33] = {};
        std::size_t got = std::fread(line, 1, 32, in);
        std::fclose(in);
        return std::string(line, got);
    }

private:
    static std::string out_name() { return "/tmp/corvid_md5sum_" + std::to_string(getpid()); }
    std::FILE* pipe;
};

std::string md5sum_of(const std::string& bytes) {
    md5sum_pipe sum;
    if (!sum.ok()) return "";
    sum.write(bytes);
    return sum.digest();
}

TEST(md5_test, rfc1321_suite) {
    const std::pair<const char*, const char*> suite[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const auto& [input, digest] : suite) EXPECT_EQ(cc::md5(input).hex_digest(), digest) << input;
}

TEST(md5_test, digest_forms) {
    cc::md5 sum("abc");
    const std::string raw = sum.digest();
    ASSERT_EQ(raw.size(), 16u);
    EXPECT_EQ(sum.digest(), raw);
    EXPECT_EQ(cc::hex_encode(raw), sum.hex_digest());
    EXPECT_EQ(sum.base64_digest(true), "kAFQmDzST7DWlj99KOF/cg==");
    EXPECT_EQ(sum.base64_digest(false), "kAFQmDzST7DWlj99KOF/cg");
    // A digest with zero bytes in it still has 16 bytes.
    EXPECT_EQ(cc::md5(std::string("\0", 1)).digest().size(), 16u);
}

TEST(md5_test, lengths_around_the_block_edge_match_md5sum) {
    std::mt19937 random(7);
    for (std::size_t size : {1u, 55u, 56u, 57u, 63u, 64u, 65u, 119u, 120u, 127u, 128u, 1000u}) {
        std::string bytes(size, '\0');
        for (char& c : bytes) c = static_cast<char>(random());
        const std::string expected = md5sum_of(bytes);
        if (expected.empty()) GTEST_SKIP() << "no md5sum";
        EXPECT_EQ(cc::md5(bytes).hex_digest(), expected) << size;
    }
}

TEST(md5_test, split_updates_equal_one_update) {
    cc::md5 split("a");
    split.update(std::string_view());
    split.update("bc");
    EXPECT_EQ(split.hex_digest(), cc::md5("abc").hex_digest());

    std::mt19937 random(11);
    std::string bytes(3000, '\0');
    for (char& c : bytes) c = static_cast<char>(random());
    const std::string whole = cc::md5(bytes).digest();
    for (int trial = 0; trial < 50; ++trial) {
        cc::md5 pieces;
        for (std::size_t at = 0; at < bytes.size();) {
            std::size_t n = std::uniform_int_distribution<std::size_t>(0, 150)(random);
            pieces.update(std::string_view(bytes).substr(at, n));
            at += n;
        }
        ASSERT_EQ(pieces.digest(), whole) << trial;
    }
}

TEST(md5_test, updates_after_a_digest_continue_the_stream) {
    cc::md5 sum("ab");
    EXPECT_EQ(sum.hex_digest(), cc::md5("ab").hex_digest());
    sum.update("c");
    EXPECT_EQ(sum.hex_digest(), cc::md5("abc").hex_digest());
}

TEST(md5_test, files) {
    char name[] = "/tmp/corvid_md5_XXXXXX";
    int fd = mkstemp(name);
    ASSERT_GE(fd, 0);
    std::string bytes;
    for (int i = 0; i < 20000; ++i) bytes += static_cast<char>(i % 251);
    ASSERT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    close(fd);
    EXPECT_EQ(cc::md5(cc::from_file, name).hex_digest(), cc::md5(bytes).hex_digest());
    // A name with a NUL byte names no file; the part before it is another.
    EXPECT_THROW(cc::md5(cc::from_file, std::string(name) + std::string(1, '\0') + ".bak"), corvid::exception);
    unlink(name);

    // A file that cannot be read is an error, not the empty input's digest.
    try {
        cc::md5(cc::from_file, "/nonexistent/corvid");
        FAIL() << "no throw";
    } catch (const corvid::exception& e) {
        EXPECT_NE(std::string(e.what()).find("/nonexistent/corvid"), std::string::npos) << e.what();
    }
    EXPECT_THROW(cc::md5(cc::from_file, "/tmp"), corvid::exception);
}

// Past 512 MiB the bit count needs more than 32 bits. The bytes are made in
// pieces, so memory stays small; the length is not a multiple of 64 so the
// final block carries both halves of the count.
TEST(md5_test, input_over_512_mib_matches_md5sum) {
    md5sum_pipe sum;
    if (!sum.ok()) GTEST_SKIP() << "no md5sum";
    const std::uint64_t total = (std::uint64_t{1} << 29) + 3 * 1024 * 1024 + 13;
    std::string piece(1 << 20, '\0');
    std::uint64_t state = 0x9E3779B97F4A7C15u;
    cc::md5 digest;
    for (std::uint64_t done = 0; done < total;) {
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(piece.size(), total - done));
        for (std::size_t i = 0; i < n; i += 8) {
            state ^= state << 13;
            state ^= state >> 7;
            state ^= state << 17;
            for (std::size_t k = 0; k < 8 && i + k < n; ++k) piece[i + k] = static_cast<char>(state >> (8 * k));
        }
        const std::string_view part(piece.data(), n);
        digest.update(part);
        sum.write(std::string(part));
        done += n;
    }
    const std::string expected = sum.digest();
    ASSERT_EQ(expected.size(), 32u);
    EXPECT_EQ(digest.hex_digest(), expected);
}

}  // namespace
