// SPDX-License-Identifier: MIT
#include "log_file.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class post_log_file : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/post_log_XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        folder = pattern;
    }
    void TearDown() override {
        for (const char* name : {"/install.txt", "/fifo"}) ::unlink((folder + name).c_str());
        ::rmdir((folder + "/dir").c_str());
        ::rmdir(folder.c_str());
    }
    std::string folder;
};

TEST_F(post_log_file, reads_a_regular_file_whole) {
    std::string content(200000, 'x');
    content[0] = '\xFF';
    content[1] = '\0';
    content.back() = 'z';
    std::ofstream(folder + "/install.txt", std::ios::binary) << content;
    std::string bytes;
    EXPECT_EQ(post::log_file(folder + "/install.txt").read(bytes), post::read_status::read);
    EXPECT_EQ(bytes, content);
}

TEST_F(post_log_file, missing_is_not_opened_and_non_regular_is_a_failed_read) {
    std::string bytes;
    EXPECT_EQ(post::log_file(folder + "/install.txt").read(bytes), post::read_status::not_opened);
    // A FIFO without a writer would block a plain open for ever.
    ASSERT_EQ(::mkfifo((folder + "/fifo").c_str(), 0600), 0);
    EXPECT_EQ(post::log_file(folder + "/fifo").read(bytes), post::read_status::failed);
    ASSERT_EQ(::mkdir((folder + "/dir").c_str(), 0700), 0);
    EXPECT_EQ(post::log_file(folder + "/dir").read(bytes), post::read_status::failed);
    EXPECT_EQ(post::log_file("/dev/null").read(bytes), post::read_status::failed);
}

}  // namespace
