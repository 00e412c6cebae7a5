// SPDX-License-Identifier: MIT
#include <corvid/internet/message2/entity.h>

#include <corvid/internet/message2/errors.h>
#include <corvid/internet/message2/header_type/parametized_value_type.h>
#include <corvid/internet/message2/header_type/unstructured_value_type.h>
#include <corvid/text.h>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace corvid::internet::message2;

entity part_of_type(const std::string& content_type) {
    entity e;
    e.body.content_type = content_type;
    return e;
}

TEST(entity_test, starts_with_one_content_type_header) {
    const entity e;
    ASSERT_EQ(e.headers.size(), 1u);
    EXPECT_EQ(e.headers[0].name, "Content-Type");
    EXPECT_EQ(e.headers[0].value, "text/plain; charset=\"iso-8859-1\"");
    EXPECT_TRUE(e.boundary.empty());
    EXPECT_TRUE(e.children.empty());
}

TEST(entity_test, headers_keep_order_and_duplicates) {
    entity e;
    e.add_header("Subject", "first");
    e.add_header("To", "a@b.c");
    e.add_header("Subject", "second");
    std::string value;
    EXPECT_TRUE(e.find_header("SUBJECT", value));
    EXPECT_EQ(value, "first");
    e.remove_headers("subject");
    ASSERT_EQ(e.headers.size(), 2u);
    EXPECT_EQ(e.headers[1].name, "To");
    value = "untouched";
    EXPECT_FALSE(e.find_header("Subject", value));
    EXPECT_EQ(value, "untouched");
}

TEST(entity_test, headers_through_value_kinds) {
    entity e;
    header_type::unstructured_value_type subject("utf-8");
    subject.set_text(u"\u00DCbersicht");
    e.add_header("Subject", subject);
    EXPECT_EQ(e.headers.back().value, "=?utf-8?Q?=C3=9Cbersicht?=");
    header_type::unstructured_value_type read;
    EXPECT_TRUE(e.get_header("subject", read));
    EXPECT_EQ(read.text(), u"\u00DCbersicht");
    header_type::unstructured_value_type missing;
    missing.set_text(u"untouched");
    EXPECT_FALSE(e.get_header("X-Missing", missing));
    EXPECT_EQ(missing.text(), u"untouched");
}

TEST(entity_test, transfer_encoding_is_the_first_one_in_lower_case) {
    entity e;
    EXPECT_EQ(e.transfer_encoding(), "");
    e.add_header("content-transfer-encoding", "Base64");
    e.add_header("Content-Transfer-Encoding", "7bit");
    EXPECT_EQ(e.transfer_encoding(), "base64");
}

TEST(entity_test, attachment_follows_the_disposition_when_there_is_one) {
    entity e = part_of_type("message/rfc822");
    EXPECT_TRUE(e.attachment().is_attachment);
    e.add_header("Content-Disposition", "inline");
    EXPECT_FALSE(e.attachment().is_attachment);

    entity file = part_of_type("application/octet-stream");
    file.headers[0].value = "application/octet-stream; name=\"from-type.bin\"";
    attachment_info info = file.attachment();
    EXPECT_FALSE(info.is_attachment);
    EXPECT_EQ(info.file_name, u"from-type.bin");
    file.add_header("Content-Disposition", "ATTACHMENT; filename=\"=?utf-8?B?SsO2cmcudHh0?=\"");
    info = file.attachment();
    EXPECT_TRUE(info.is_attachment);
    EXPECT_EQ(info.file_name, u"J\u00F6rg.txt");
    // The charset of a word in one header does not read the bytes of another.
    file.headers[0].value = "application/octet-stream; x=\"=?utf-8?B?w6k=?=\"";
    file.headers[1].value = "attachment; filename=\"caf\xe9.txt\"";
    EXPECT_EQ(file.attachment().file_name, u"caf\u00e9.txt");

    entity bare;
    bare.headers.clear();
    bare.body.content_type = "message/rfc822";
    EXPECT_FALSE(bare.attachment().is_attachment);
}

// multipart/mixed: text/plain, message/rfc822 (enclosing text/html), image/png
entity sample_tree() {
    entity root = part_of_type("multipart/mixed");
    root.boundary = "b";
    root.children.push_back(part_of_type("text/plain"));
    entity enclosed = part_of_type("message/rfc822");
    enclosed.children.push_back(part_of_type("text/html"));
    root.children.push_back(enclosed);
    root.children.push_back(part_of_type("image/png"));
    return root;
}

std::vector<std::string> types_by_depth(const part_index& index) {
    std::vector<std::string> types;
    for (const auto& [depth, entry] : index)
        types.push_back(std::to_string(depth) + " " + entry.part->body.content_type);
    return types;
}

TEST(entity_test, enumerate_parts_in_pre_order_by_depth) {
    entity root = sample_tree();
    const part_index all = root.enumerate_parts(false);
    EXPECT_EQ(types_by_depth(all), (std::vector<std::string>{"0 multipart/mixed", "1 text/plain", "1 message/rfc822",
                                                              "1 image/png", "2 text/html"}));
    const auto first = all.begin();
    EXPECT_EQ(first->second.part, &root);
    EXPECT_EQ(first->second.parent, nullptr);
    EXPECT_EQ(all.find(2)->second.parent, &root.children[1]);
    EXPECT_EQ(std::next(first)->second.parent, &root);

    EXPECT_EQ(types_by_depth(root.enumerate_parts(true)),
              (std::vector<std::string>{"0 multipart/mixed", "1 text/plain", "1 image/png"}));
    EXPECT_TRUE(root.children[1].enumerate_parts(true).empty());
}

TEST(entity_test, find_parts_by_media_type_prefix) {
    entity root = sample_tree();
    EXPECT_EQ(types_by_depth(root.find_parts("TEXT/", false)),
              (std::vector<std::string>{"1 text/plain", "2 text/html"}));
    EXPECT_EQ(types_by_depth(root.find_parts("text/", true)), (std::vector<std::string>{"1 text/plain"}));
    EXPECT_TRUE(root.find_parts("audio/", false).empty());
}

TEST(entity_test, copies_are_deep) {
    const entity original = sample_tree();
    entity copy = original;
    copy.children[1].children[0].body.set_text(u"changed");
    copy.children[0].add_header("X", "y");
    EXPECT_TRUE(original.children[1].children[0].body.data.empty());
    EXPECT_EQ(original.children[0].headers.size(), 1u);
}

class entity_file_test : public ::testing::Test {
protected:
    std::string path = ::testing::TempDir() + "entity_test_" + std::to_string(::getpid()) + ".eml";
    void TearDown() override { std::remove(path.c_str()); }
};

std::string file_text(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

TEST_F(entity_file_test, save_ends_lines_with_crlf_and_keeps_a_missing_last_line_end) {
    const std::string head = "Content-Type: text/plain; charset=\"iso-8859-1\"\r\nSubject: hi\r\n\r\n";
    const struct {
        const char* data;
        const char* body;
        const char* loaded;
    } cases[] = {
        {"one\ntwo\n", "one\r\ntwo\r\n", "one\r\ntwo\r\n"},
        {"one\ntwo", "one\r\ntwo", "one\r\ntwo"},
    };
    for (const auto& c : cases) {
        entity e;
        e.add_header("Subject", "hi");
        e.body.data = c.data;
        e.save(path);
        EXPECT_EQ(file_text(path), head + c.body);
        EXPECT_EQ(entity::load(path).body.data, c.loaded);
    }
}

TEST_F(entity_file_test, failed_save_leaves_the_old_file) {
    {
        std::ofstream old(path, std::ios::binary);
        old << "old message\r\n";
    }
    entity e;
    e.body.data = std::string(64 * 1024, 'x');
    // A file size limit makes the write fail after the first bytes, as a full
    // disk would.
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    EXPECT_THROW(e.save(path), generic);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, old_handler);
    EXPECT_EQ(file_text(path), "old message\r\n");
    // No temporary file is left beside it.
    const auto folder = std::filesystem::path(path).parent_path();
    const std::string stem = std::filesystem::path(path).filename().string();
    for (const auto& item : std::filesystem::directory_iterator(folder))
        EXPECT_FALSE(corvid::starts_with(item.path().filename().string(), stem + ".")) << item.path();
    // A successful save replaces it and keeps its permissions.
    std::filesystem::permissions(path, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    e.save(path);
    EXPECT_EQ(entity::load(path).body.data, e.body.data);
    EXPECT_EQ(std::filesystem::status(path).permissions(),
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
}

TEST_F(entity_file_test, save_failures_are_reported) {
    const entity e;
    const std::string missing = ::testing::TempDir() + "no-such-dir/x.eml";
    try {
        e.save(missing);
        FAIL() << "no exception";
    } catch (const generic& error) {
        EXPECT_TRUE(corvid::ends_with(error.message(), missing)) << error.what();
        EXPECT_TRUE(corvid::starts_with(error.message(), "unable to open file for output: "));
    }
    // A NUL byte would cut the name short: x.eml must not be written.
    const std::string cut = ::testing::TempDir() + "x.eml";
    std::remove(cut.c_str());
    EXPECT_THROW(e.save(cut + std::string("\0.bak", 5)), generic);
    EXPECT_FALSE(std::ifstream(cut));
    // The open succeeds but the bytes never reach the disk.
    if (std::ifstream("/dev/full")) {
        EXPECT_THROW(e.save("/dev/full"), generic);
    }
}

}  // namespace
