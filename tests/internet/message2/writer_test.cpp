// SPDX-License-Identifier: MIT
#include <corvid/internet/message2/entity.h>

#include <corvid/internet/message2/header_type/unstructured_value_type.h>

#include <corvid/coding/quoted_printable.h>

#include <corvid/line_writer.h>
#include <tests/support/tree_difference.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

// entity::write: the tree as message lines.

namespace {

using corvid::internet::message2::entity;
using lines = std::vector<std::string>;

const std::string default_type = "Content-Type: text/plain; charset=\"iso-8859-1\"";

// The body lines: everything after the first empty line.
lines body_of(const entity& e) {
    const lines all = e.write();
    auto blank = std::find(all.begin(), all.end(), "");
    return blank == all.end() ? lines{} : lines(std::next(blank), all.end());
}

entity encoded(const std::string& encoding, std::string data) {
    entity e;
    if (!encoding.empty()) e.add_header("Content-Transfer-Encoding", encoding);
    e.body.data = std::move(data);
    return e;
}

TEST(writer_test, headers_only_end_with_one_empty_line) {
    entity e;
    e.add_header("X-Long", std::string(2000, 'x'));
    EXPECT_EQ(e.write(), (lines{default_type, "X-Long: " + std::string(2000, 'x'), ""}));
    // The list given is appended to.
    lines out{"kept"};
    e.write(out);
    EXPECT_EQ(out.size(), 4u);
    EXPECT_EQ(out.front(), "kept");
}

TEST(writer_test, base64_bodies_in_lines_of_76) {
    std::string full_line;
    for (int i = 0; i < 19; ++i) full_line += "YWFh";
    EXPECT_EQ(body_of(encoded("base64", std::string(57, 'a'))), (lines{full_line}));
    const lines two = body_of(encoded("BASE64", std::string(58, '\xFF')));
    ASSERT_EQ(two.size(), 2u);
    EXPECT_EQ(two[0].size(), 76u);
    EXPECT_EQ(two[1], "/w==");
}

TEST(writer_test, quoted_printable_bodies_line_by_line) {
    EXPECT_EQ(body_of(encoded("quoted-printable", "one\r\ntwo")), (lines{"one", "two"}));
    EXPECT_EQ(body_of(encoded("quoted-printable", "one\r\n")), (lines{"one"}));
    // 75 input bytes per piece, soft breaks between pieces.
    EXPECT_EQ(body_of(encoded("quoted-printable", std::string(80, 'a'))),
              (lines{std::string(75, 'a') + "=", "aaaaa"}));
    EXPECT_EQ(body_of(encoded("quoted-printable", std::string(75, 'a'))), (lines{std::string(75, 'a')}));
    // The limit counts encoded characters and never cuts an escape.
    const lines escaped = body_of(encoded("quoted-printable", std::string(76, '\xE9')));
    ASSERT_EQ(escaped.size(), 4u);
    std::string escapes;
    for (int i = 0; i < 25; ++i) escapes += "=E9";
    EXPECT_EQ(escaped[0], escapes + "=");
    EXPECT_EQ(escaped[3], "=E9");
    const lines mixed = body_of(encoded("quoted-printable", std::string(74, 'a') + "\xE9" "b"));
    EXPECT_EQ(mixed, (lines{std::string(74, 'a') + "=", "=E9b"}));
    EXPECT_EQ(body_of(encoded("quoted-printable", "a=b\tc")), (lines{"a=3Db=09c"}));
    // Only CR LF ends a line; a lone CR or LF is a byte of the data.
    EXPECT_EQ(body_of(encoded("quoted-printable", "a\nb\rc\r\nd")), (lines{"a=0Ab=0Dc", "d"}));
}

// The writer's quoted-printable lines, byte by byte: what the fast route
// must equal.
lines plain_quoted_printable(const std::string& data) {
    lines out;
    std::size_t start = 0;
    for (bool last = false; !last;) {
        std::size_t end = data.find("\r\n", start);
        last = end == std::string::npos;
        if (last && start == data.size() && start != 0) break;
        const std::string line = data.substr(start, last ? std::string::npos : end - start);
        std::string encoded;
        for (std::size_t at = 0; at < line.size(); ++at) {
            std::string unit = corvid::coding::quoted_printable_encode(line.substr(at, 1));
            if (at + 1 == line.size() && unit == " ") unit = "=20";
            if (encoded.size() + unit.size() > 75) {
                out.push_back(encoded + '=');
                encoded.clear();
            }
            encoded += unit;
        }
        out.push_back(encoded);
        start = end + 2;
    }
    return out;
}

TEST(writer_test, every_body_written_as_lines_and_as_text_alike) {
    std::mt19937 random(20261209);
    const std::string pieces[] = {"a", "Z", " ", "\t", "=", "?", "_", "\r\n", "\r", "\n", "\xE9", "\x7F", "\x00"};
    for (int round = 0; round < 400; ++round) {
        std::string data;
        const std::size_t size = 1 + random() % (round % 20 == 0 ? 3000 : 200);
        while (data.size() < size) {
            const std::size_t kind = random() % 16;
            data += kind < 3 ? std::string(random() % 90, 'x') : pieces[kind % std::size(pieces)];
        }
        SCOPED_TRACE(testing::PrintToString(data));
        for (const char* encoding : {"quoted-printable", "base64", ""}) {
            const entity e = encoded(encoding, data);
            const lines written = e.write();
            std::string joined;
            for (const std::string& line : written) joined += line + "\r\n";
            const std::string text = e.write_text();
            // The text lacks the last line end only when the data did.
            EXPECT_TRUE(text == joined || text + "\r\n" == joined);
            if (*encoding == 'q') {
                EXPECT_EQ(body_of(e), plain_quoted_printable(data));
            }
        }
    }
}

TEST(writer_test, quoted_printable_escapes_a_blank_that_ends_a_line) {
    // Readers strip trailing blanks, so a bare one would be lost.
    EXPECT_EQ(body_of(encoded("quoted-printable", "end \r\nnext")), (lines{"end=20", "next"}));
    // Before a soft break the blank is safe.
    EXPECT_EQ(body_of(encoded("quoted-printable", std::string(74, 'a') + "  b")),
              (lines{std::string(74, 'a') + " =", " b"}));
}

TEST(writer_test, other_bodies_are_written_as_they_are) {
    EXPECT_EQ(body_of(encoded("", "a\r\nb\r\n")), (lines{"a", "b"}));
    EXPECT_EQ(body_of(encoded("", "\r\n")), (lines{""}));
    EXPECT_EQ(body_of(encoded("8bit", "a\rb\n\nc")), (lines{"a", "b", "", "c"}));
}

TEST(writer_test, a_final_line_end_stays_before_a_boundary_and_only_there) {
    // In front of a boundary line the line end belongs to the boundary, so a
    // part whose text ends with one needs an empty line to keep it.
    entity message;
    message.body.content_type = "multipart/mixed";
    message.boundary = "b";
    entity part;
    part.body.data = "text\r\n";
    message.children.push_back(part);
    const lines written = message.write();
    const lines tail(written.end() - 3, written.end());
    EXPECT_EQ(tail, (lines{"text", "", "--b--"}));
    // An enclosed message at the end of the message ends it like a single part.
    entity outer;
    outer.body.content_type = "message/rfc822";
    outer.children.push_back(part);
    EXPECT_EQ(outer.write().back(), "text");
}

TEST(writer_test, load_and_save_keep_a_single_part_body_unchanged) {
    const std::string text = "Content-Type: text/plain; charset=\"iso-8859-1\"\r\n\r\nline one\r\nline two\r\n";
    entity once(text);
    corvid::line_writer out(once.write());
    std::string written;
    out.take_text(written);
    EXPECT_EQ(written, text);
    EXPECT_EQ(entity(written).body.data, "line one\r\nline two\r\n");
}

TEST(writer_test, content_type_is_recomputed_from_the_body_fields) {
    entity e;
    e.headers[0].name = "content-type";
    e.headers[0].value = "text/plain; name=\"x.txt\"; charset=iso-8859-1";
    e.body.content_type = "text/html";
    e.body.charset = "utf-8";
    EXPECT_EQ(e.write()[0], "content-type: text/html; name=\"x.txt\"; charset=\"utf-8\"");
    // The entity itself keeps its old header.
    EXPECT_EQ(e.headers[0].value, "text/plain; name=\"x.txt\"; charset=iso-8859-1");

    e.body.content_type = "image/png";
    EXPECT_EQ(e.write()[0], "content-type: image/png; name=\"x.txt\"");
    e.body.content_type = "text/html";
    e.body.charset.clear();
    EXPECT_EQ(e.write()[0], "content-type: text/html; name=\"x.txt\"");
}

TEST(writer_test, content_type_with_words_in_two_charsets_can_be_written) {
    // Parsing leaves the charset of the last word, which cannot hold the
    // name decoded from the first.
    entity e;
    e.body.content_type = "application/octet-stream";
    e.headers[0].value = "application/octet-stream; name=\"=?utf-8?B?5Lit?=\"; x=\"=?iso-8859-1?Q?=E9?=\"";
    const std::string written = e.write()[0];
    EXPECT_EQ(written, "Content-Type: application/octet-stream; name=\"=?utf-8?B?5Lit?=\"; x=\"=?utf-8?B?w6k=?=\"");
    entity back;
    back.headers[0].value = written.substr(written.find(": ") + 2);
    EXPECT_EQ(back.attachment().file_name, u"\u4E2D");
}

TEST(writer_test, multipart_boundaries) {
    entity root;
    root.body.content_type = "multipart/mixed";
    root.boundary = "frontier";
    root.body.data = "preamble";
    root.children.emplace_back();
    root.children.back().body.data = "first";
    root.children.emplace_back();
    root.children.back().body.data = "second";
    EXPECT_EQ(root.write(), (lines{"Content-Type: multipart/mixed; boundary=\"frontier\"", "", "preamble",
                                   "--frontier", default_type, "", "first",
                                   "--frontier", default_type, "", "second", "--frontier--"}));

    // Without a boundary the lines are bare and an old parameter stays.
    root.boundary.clear();
    root.headers[0].value = "multipart/mixed; boundary=\"old\"";
    root.body.data.clear();
    const lines bare = root.write();
    EXPECT_EQ(bare[0], "Content-Type: multipart/mixed; boundary=\"old\"");
    EXPECT_EQ(bare[2], "--");
    EXPECT_EQ(bare.back(), "----");
}

TEST(writer_test, an_enclosed_message_has_no_boundaries_and_one_child) {
    entity outer;
    outer.body.content_type = "message/rfc822";
    outer.children.emplace_back();
    outer.children.back().add_header("Subject", "inner");
    outer.children.emplace_back();
    outer.children.back().add_header("Subject", "never written");
    EXPECT_EQ(outer.write(), (lines{"Content-Type: message/rfc822", "", default_type, "Subject: inner", ""}));
}

// The report of the error-report program: UTF-8 log, base64, four headers.
TEST(writer_test, report_message_golden) {
    entity report;
    report.add_header("Content-Transfer-Encoding", "base64");
    report.add_header("To", "\"Installation Support\" <support@example.com>");
    report.body.charset = "utf-8";
    std::u16string log;
    for (int i = 0; i < 12; ++i)
        log += u"Action ended 10:0" + std::u16string(1, char16_t(u'0' + i % 10)) + u": \u00C9tape termin\u00E9e.\r\n";
    log += u"dialog SetupError 2755.\r\n";
    report.body.set_text(log);
    report.add_header("Subject", "Installation Error (Exit Code: 1603)(Error: 2755)");

    std::ifstream golden(CORVID_TEST_DATA "/message2/report.eml", std::ios::binary);
    ASSERT_TRUE(golden) << "missing golden file";
    const std::string expected((std::istreambuf_iterator<char>(golden)), std::istreambuf_iterator<char>());
    std::string written;
    for (const std::string& line : report.write()) written += line + "\r\n";
    EXPECT_EQ(written, expected);
}

// Messages that used to change when read, written and read again. Each must
// give the same tree, and the second rewrite the same text as the first.
TEST(writer_round_trip, read_write_read_keeps_the_tree) {
    const std::string path = ::testing::TempDir() + "writer_round_trip_" + std::to_string(::getpid()) + ".eml";
    const struct {
        const char* what;
        std::string text;
        std::size_t children;
    } cases[] = {
        {"no line end at the end", "Subject: x\r\n\r\nlast line", 0},
        {"quoted-printable soft break at the end",
         "Content-Transfer-Encoding: quoted-printable\r\n\r\nab=\r\n", 0},
        {"quoted-printable lone LF and CR", "Content-Transfer-Encoding: quoted-printable\r\n\r\na=0Ab=0D\r\n", 0},
        {"preamble but no parts", "Content-Type: multipart/mixed; boundary=b\r\n\r\npre\r\n--b--\r\n", 0},
        {"boundary on a text type", "Content-Type: text/plain; boundary=q\r\n\r\npre\r\n--q\r\n\r\none\r\n--q\r\n\r\ntwo\r\n--q--\r\n", 0},
        {"enclosed message with a boundary",
         "Content-Type: message/rfc822; boundary=q\r\n\r\nSubject: a\r\n\r\none\r\n--q\r\n\r\ntwo\r\n", 1},
        {"empty multipart whose closing line would end its parent",
         "Content-Type: multipart/mixed; boundary=a\r\n\r\n--a\r\nContent-Type: multipart/mixed; boundary=ab\r\n"
         "\r\n--ab\r\n\r\ninner\r\n--a--\r\n", 2},
        {"base64 lines padded with a blank",
         "Content-Transfer-Encoding: base64\r\n\r\nYQ== \r\nYg==\t\r\n", 0},
        {"delimiters with trailing white space",
         "Content-Type: multipart/mixed; boundary=b\r\n\r\n--b \r\n\r\none\r\n--b\t\r\n\r\ntwo\r\n--b-- \r\n", 2},
        {"no blank after the colon", "Content-Type:multipart/mixed;boundary=x\r\n\r\n--x\r\n\r\na\r\n--x--\r\n", 1},
        {"uuencoded text with the boundary in it",
         "\r\n--=_uue_conversion_boundary\r\nbegin 644 a.txt\r\n!80``\r\nend\r\nafter\r\n", 2},
        {"boundary given as boundary*",
         "Content-Type: multipart/mixed; boundary*=''%3Dx\r\n\r\n--=x\r\n\r\na\r\n--=x--\r\n", 1},
        // Found by the round-trip fuzzer.
        {"colons after the colon", "Content-Transfer-Encoding::quoted-printable\r\n\r\na=3Db", 0},
        {"a boundary the old parameters hide",
         "Content-Type: text/plain; x==?q?b; boundary=m\r\n\r\n--m\r\n\r\na\r\n--m--\r\n", 0},
        {"media type with delimiters in an encoded word", "Content-Type: =?utf-8?q?a;b,c\"d\\e?=\r\n\r\n", 0},
        {"media type that looks like an encoded word", "Content-Type: =?utf-8?q?=3D=3Fx=3Fq=3Fy=3F=3D?=\r\n\r\n", 0},
        {"undecodable bytes in the media type", "Content-Type: =?utf-7?B?Kw==?=\xFF\r\n\r\n", 0},
        {"enclosed message without a body", "Content-Type: message/rfc822\r\nSubject: x", 0},
        {"a line break in the boundary", "Content-Type: multipart/mixed; boundary=\"=?utf-8?Q?a=0Db?=\"\r\n\r\n", 0},
        {"eml attachment without a body",
         "Content-Type: multipart/mixed; boundary=m\r\n\r\n--m\r\nContent-Type: application/octet-stream\r\n"
         "Content-Disposition: attachment; filename=a.eml\r\n--m--\r\n", 1},
        {"empty charset", "Content-Type: text/plain; charset=\r\n\r\nx", 0},
        {"media type that starts with a colon", "Content-Type: ;: multipart/mixed\r\n\r\nx", 0},
        {"declined uuencode block that the conversion completes",
         "\r\nbegin 644 a\r\nbegin 644 b.txt\r\n!80``\r\nend\r\nend\r\n", 2},
        {"transfer encoding that cannot be decoded", "Content-Transfer-Encoding: =?windows?x?\xFF?=\r\n\r\nx", 0},
        {"part with the boundary of its parent",
         "Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\nContent-Type: multipart/mixed; boundary=b\r\n"
         "\r\npre\r\n--b\r\n\r\nsecond\r\n--b--\r\n", 2},
    };
    for (const auto& c : cases) {
        const entity first(c.text);
        EXPECT_EQ(first.children.size(), c.children) << c.what;
        const std::string written = first.write_text();
        const entity second(written);
        EXPECT_EQ(corvid::test::tree_difference(first, second), "") << c.what << "\n" << written;
        EXPECT_EQ(second.write_text(), written) << c.what;
        // load and save, as mime rewrite uses them, write the same text.
        first.save(path);
        EXPECT_EQ(corvid::test::tree_difference(first, entity::load(path)), "") << c.what;
    }
    std::remove(path.c_str());
}

TEST(writer_round_trip, long_encoded_headers_are_folded_between_words) {
    using corvid::internet::message2::header_type::unstructured_value_type;
    unstructured_value_type subject("utf-8");
    const std::u16string text(200, u'\u00E9');
    subject.set_text(text);
    entity e;
    e.add_header("Subject", subject);
    const lines written = e.write();
    ASSERT_GT(written.size(), 4u);
    // The first line holds the name and one word, each further line a
    // blank and one word.
    EXPECT_LE(written[1].size(), std::string("Subject: ").size() + 75) << written[1];
    for (std::size_t i = 2; i + 1 < written.size() && !written[i].empty(); ++i) {
        EXPECT_LE(written[i].size(), 76u) << written[i];
        EXPECT_EQ(written[i][0], ' ');
    }
    const entity back(e.write_text());
    unstructured_value_type read;
    ASSERT_TRUE(back.get_header("Subject", read));
    EXPECT_EQ(read.text(), text);
}

}  // namespace
