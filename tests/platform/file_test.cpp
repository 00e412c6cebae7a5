// SPDX-License-Identifier: MIT
#include <corvid/platform/file.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace platform = corvid::platform;

class file_layer : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/corvid_file_test.XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        folder = pattern;
    }
    void TearDown() override { std::system(("rm -rf '" + folder + "'").c_str()); }

    void write(const std::string& name, const std::string& bytes, platform::open_mode mode, std::error_code& ec) {
        platform::unique_file file = platform::open_file(folder + "/" + name, mode, ec);
        if (ec) return;
        platform::write_all(file, bytes, ec);
        if (!ec) file.close(ec);
    }

    std::string folder;
};

TEST_F(file_layer, a_path_with_a_nul_byte_opens_nothing) {
    std::error_code ec;
    write("a", "x", platform::open_mode::write_replace, ec);
    ASSERT_FALSE(ec);
    const std::string shorter_name = folder + "/a" + std::string(1, '\0') + "b";
    for (platform::open_mode mode : {platform::open_mode::read, platform::open_mode::write_replace}) {
        EXPECT_FALSE(platform::open_file(shorter_name, mode, ec).valid());
        EXPECT_EQ(ec, std::errc::invalid_argument);
    }
    platform::remove_file(shorter_name, ec);
    EXPECT_EQ(ec, std::errc::invalid_argument);
    std::string bytes;
    platform::read_file(folder + "/a", bytes, ec);
    EXPECT_EQ(bytes, "x");  // neither replaced nor removed
}

TEST_F(file_layer, write_new_never_replaces_and_read_file_reads_all) {
    std::error_code ec;
    const std::string big(200 * 1024 + 7, 'b');  // several read pieces
    write("m", big, platform::open_mode::write_new, ec);
    ASSERT_FALSE(ec);
    write("m", "other", platform::open_mode::write_new, ec);
    EXPECT_EQ(ec, std::errc::file_exists);
    std::string bytes;
    platform::read_file(folder + "/m", bytes, ec);
    EXPECT_FALSE(ec);
    EXPECT_EQ(bytes, big);
    platform::read_file(folder + "/missing", bytes, ec);
    EXPECT_EQ(ec, std::errc::no_such_file_or_directory);
    EXPECT_EQ(ec.message(), "No such file or directory");
}

TEST_F(file_layer, make_folder_accepts_a_folder_and_refuses_a_file) {
    std::error_code ec;
    platform::make_folder(folder + "/sub", 0700, ec);
    EXPECT_FALSE(ec);
    platform::make_folder(folder + "/sub", 0700, ec);
    EXPECT_FALSE(ec);
    write("plain", "", platform::open_mode::write_new, ec);
    platform::make_folder(folder + "/plain", 0700, ec);
    EXPECT_EQ(ec, std::errc::not_a_directory);
}

TEST_F(file_layer, unique_files_and_links_never_replace_a_name) {
    std::error_code ec;
    std::string first, second;
    const platform::unique_file a = platform::create_unique(folder + "/part-", first, ec);
    ASSERT_FALSE(ec);
    const platform::unique_file b = platform::create_unique(folder + "/part-", second, ec);
    ASSERT_FALSE(ec);
    EXPECT_NE(first, second);
    EXPECT_EQ(first.rfind(folder + "/part-", 0), 0u);
    struct stat info {};
    ASSERT_EQ(::stat(first.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    platform::link_file(first, second, ec);
    EXPECT_EQ(ec, std::errc::file_exists);
    platform::link_file(first, folder + "/named", ec);
    EXPECT_FALSE(ec);
}

TEST_F(file_layer, a_fifo_opens_without_waiting_and_is_not_regular) {
    const std::string fifo = folder + "/fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::error_code ec;
    const platform::unique_file file = platform::open_file(fifo, platform::open_mode::read_no_wait, ec);
    ASSERT_FALSE(ec);
    EXPECT_FALSE(platform::facts(file, ec).regular);
    EXPECT_FALSE(ec);
}

}  // namespace
