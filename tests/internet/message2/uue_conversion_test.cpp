// SPDX-License-Identifier: MIT
#include <corvid/internet/message2/uue_conversion.h>

#include <corvid/coding/base64.h>
#include <corvid/coding/uu.h>
#include <corvid/internet/message2/errors.h>
#include <corvid/internet/message2/header_type/parametized_value_type.h>
#include <tests/support/tree_difference.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

namespace message2 = corvid::internet::message2;
using message2::entity;
using lines = std::vector<std::string>;

// One uuencoded line for up to 45 bytes: length character, then symbols.
std::string uu_line(const std::string& bytes) {
    // Appended rather than joined with +: g++ 12 -O3 mistakes the inlined
    // insert of a temporary for an overlapping copy (-Wrestrict).
    std::string line(1, static_cast<char>(0x20 + bytes.size()));
    line += corvid::coding::uu_encode(bytes);
    return line;
}

std::u16string file_name_of(const entity& part) {
    return part.attachment().file_name;
}

TEST(uue_conversion, block_in_text_becomes_attachment_before_the_text) {
    const entity e(lines{"Subject: files", "", "before", "begin 644 a.txt", uu_line("hello "), uu_line("world"), "`",
                         "end", "after"});
    EXPECT_EQ(e.body.content_type, "multipart/mixed");
    EXPECT_EQ(e.boundary, message2::uue_conversion_boundary);
    EXPECT_TRUE(e.body.data.empty());
    ASSERT_EQ(e.children.size(), 2u);

    const entity& attachment = e.children[0];
    EXPECT_EQ(attachment.body.content_type, "text/plain");
    EXPECT_EQ(attachment.body.data, "hello world");
    EXPECT_EQ(attachment.transfer_encoding(), "base64");
    EXPECT_TRUE(attachment.attachment().is_attachment);
    EXPECT_EQ(file_name_of(attachment), u"a.txt");

    const entity& text = e.children[1];
    EXPECT_EQ(text.body.content_type, "text/plain");
    EXPECT_EQ(text.body.data, "before\r\nafter");
    ASSERT_EQ(text.headers.size(), 1u);
    EXPECT_EQ(text.headers[0].name, "Content-Type");

    // The restructured entity has no data: its header block is followed by
    // the first boundary line at once.
    const lines written = e.write();
    const auto empty = std::find(written.begin(), written.end(), std::string());
    ASSERT_NE(empty, written.end());
    EXPECT_EQ(*std::next(empty), std::string("--") + message2::uue_conversion_boundary);
}

TEST(uue_conversion, last_group_is_cut_to_the_length_character) {
    // 1, 2 and 4 bytes leave one or two filler bytes in their last group.
    for (const std::string& bytes : {std::string("A"), std::string("AB"), std::string("ABCD"), std::string(45, '\xff')}) {
        const entity e(lines{"", "begin 600 x.bin", uu_line(bytes), "end"});
        ASSERT_EQ(e.children.size(), 2u) << bytes;
        EXPECT_EQ(e.children[0].body.data, bytes);
    }
    // Transports strip trailing blanks (zero symbols); they are restored.
    std::string stripped = uu_line(std::string("\x41\x00\x00\x00\x00\x00", 6));
    while (stripped.back() == ' ') stripped.pop_back();
    const entity e(lines{"", "begin 600 zeros", stripped, "end"});
    ASSERT_EQ(e.children.size(), 2u);
    EXPECT_EQ(e.children[0].body.data, std::string("\x41\x00\x00\x00\x00\x00", 6));
}

TEST(uue_conversion, malformed_blocks_stay_text_unchanged) {
    const lines cases[] = {
        {"", "begin 644", uu_line("abc"), "end"},               // one blank only: no file name
        {"", "begin 644 a.txt", uu_line("abc")},                // no end line
        {"", "begin 644 a.txt", uu_line("abc"), "", "end"},     // empty line inside
        {"", "begin 644 a.txt", "#ABC~", "end"},                // "~" is outside the alphabet
        {"", "begin 644 a.txt", "\x7f" "abc", "end"},           // bad length character
    };
    for (const lines& input : cases) {
        const entity e(input);
        EXPECT_EQ(e.body.content_type, "text/plain");
        EXPECT_TRUE(e.children.empty()) << input[1];
        std::string expected;
        for (std::size_t i = 1; i < input.size(); ++i) expected += (i > 1 ? "\r\n" : "") + input[i];
        EXPECT_EQ(e.body.data, expected);
    }
}

TEST(uue_conversion, media_type_follows_the_extension) {
    // Compared in lower case, by the end of the name only.
    const std::pair<const char*, const char*> cases[] = {
        {"PHOTO.JPEG", "image/jpeg"}, {"page.Html", "text/html"}, {"x.png.gz", "application/octet-stream"}};
    for (const auto& [name, type] : cases) {
        const entity e(lines{"", std::string("begin 644 ") + name, uu_line("x"), "end"});
        ASSERT_EQ(e.children.size(), 2u) << name;
        EXPECT_EQ(e.children[0].body.content_type, type) << name;
    }
}

TEST(uue_conversion, file_names_keep_blanks_and_their_charset) {
    const entity spaced(lines{"", "begin 644 my file.txt", uu_line("x"), "end"});
    EXPECT_EQ(file_name_of(spaced.children.at(0)), u"my file.txt");

    const entity latin(lines{"Content-Type: text/plain; charset=iso-8859-1", "", "begin 644 caf\xe9.txt", uu_line("x"),
                             "end"});
    EXPECT_EQ(file_name_of(latin.children.at(0)), u"caf\u00e9.txt");

    const entity utf8(lines{"Content-Type: text/plain; charset=utf-8", "", "begin 644 caf\xc3\xa9.txt", uu_line("x"),
                            "end"});
    EXPECT_EQ(file_name_of(utf8.children.at(0)), u"caf\u00e9.txt");
}

TEST(uue_conversion, several_blocks_keep_their_order) {
    const entity e(lines{"", "one", "begin 644 first.png", uu_line("1"), "end", "two", "begin 644 second.gif",
                         uu_line("22"), "end"});
    ASSERT_EQ(e.children.size(), 3u);
    EXPECT_EQ(e.children[0].body.data, "1");
    EXPECT_EQ(e.children[0].body.content_type, "image/png");
    EXPECT_EQ(e.children[1].body.data, "22");
    EXPECT_EQ(e.children[2].body.data, "one\r\ntwo");
    // Written and read again, the attachments survive as base64 parts.
    const entity again(e.write());
    ASSERT_EQ(again.children.size(), 3u);
    EXPECT_EQ(again.children[1].body.data, "22");
    EXPECT_EQ(again.children[1].body.content_type, "image/gif");
}

TEST(uue_conversion, an_eml_file_encloses_a_message_as_its_mime_form_does) {
    const lines text{"", "begin 644 Note.EML", uu_line("Subject: hi\r\n\r\nbody\r\n"), "end"};
    const entity e(text);
    ASSERT_EQ(e.children.size(), 2u);
    const entity& attachment = e.children[0];
    EXPECT_EQ(attachment.body.content_type, "message/rfc822");
    EXPECT_EQ(attachment.transfer_encoding(), "");
    ASSERT_EQ(attachment.children.size(), 1u);
    EXPECT_EQ(attachment.children[0].body.data, "body\r\n");
    EXPECT_EQ(corvid::test::tree_difference(e, entity(e.write_text())), "");
    // The enclosed message is a level below the attachment.
    EXPECT_THROW(entity(text.begin(), text.end(), 63), message2::depth_limit);
    EXPECT_NO_THROW(entity(text.begin(), text.end(), 62));
}

TEST(uue_conversion, encoded_bodies_are_not_searched) {
    const entity e(lines{"Content-Transfer-Encoding: quoted-printable", "", "begin 644 a.txt", uu_line("x"), "end"});
    EXPECT_TRUE(e.children.empty());
}

TEST(uue_conversion, blank_length_lines_and_stripped_trailing_blanks) {
    // " " means length 0 as "`" does; "!0" and "\"0@" lost the trailing
    // blanks (zero symbols) that held the rest of their last group.
    const entity e(lines{"", "begin 644 z.bin", "!0", "\"0@", " ", "end"});
    ASSERT_EQ(e.children.size(), 2u);
    EXPECT_EQ(e.children[0].body.data, std::string("\x40\x42\x00", 3));
}

TEST(uue_conversion, boundary_is_extended_past_lines_of_the_text) {
    const std::string boundary = message2::uue_conversion_boundary;
    const entity e(lines{"", "--" + boundary, "begin 644 a.txt", uu_line("x"), "end", "--" + boundary + "_1--"});
    // Any line that begins with the delimiter is one, so the number goes
    // inside the name: no candidate begins another.
    EXPECT_EQ(e.boundary, "=_uue_conversion_1_boundary");
    // Written and read again, the text stays one part.
    const entity again(e.write_text());
    ASSERT_EQ(again.children.size(), 2u);
    EXPECT_EQ(again.children[1].body.data, e.children[1].body.data);
    // Without such a line the boundary stays as it was.
    EXPECT_EQ(entity(lines{"", "begin 644 a.txt", uu_line("x"), "end"}).boundary, boundary);
}

TEST(uue_conversion, boundary_differs_from_those_around_it) {
    const std::string boundary = message2::uue_conversion_boundary;
    const std::string type = "Content-Type: multipart/mixed; boundary=\"" + boundary + "\"";
    const std::string block = "begin 644 a.txt\r\n" + uu_line("x") + "\r\nend\r\n";
    const std::string eml = corvid::coding::base64_encode("\r\n" + block, true);
    struct row {
        const char* what;
        std::string text;
        std::vector<std::size_t> path;  // to the converted entity
    };
    const row rows[] = {
        {"a part of a multipart", type + "\r\n\r\n--" + boundary + "\r\n\r\n" + block + "--" + boundary + "--\r\n",
         {0}},
        {"a preamble, whose text keeps its own", type + "\r\n\r\n" + block + "--" + boundary + "--\r\n", {}},
        {"a message in an .eml part", type + "\r\n\r\n--" + boundary +
                                          "\r\nContent-Type: application/octet-stream\r\n"
                                          "Content-Disposition: attachment; filename=m.eml\r\n"
                                          "Content-Transfer-Encoding: base64\r\n\r\n" +
                                          eml + "\r\n--" + boundary + "--\r\n",
         {0, 0}},
    };
    for (const row& r : rows) {
        const entity e(r.text);
        const entity* converted = &e;
        for (const std::size_t i : r.path) converted = &converted->children.at(i);
        EXPECT_EQ(converted->boundary, "=_uue_conversion_1_boundary") << r.what;
        EXPECT_EQ(corvid::test::tree_difference(e, entity(e.write_text())), "") << r.what;
    }
}

}  // namespace
