// SPDX-License-Identifier: MIT
#include <corvid/internet/message2/entity.h>

#include <corvid/internet/message2/errors.h>
#include <corvid/internet/message2/header_type/parametized_value_type.h>
#include <corvid/internet/message2/header_type/unstructured_value_type.h>

#include <corvid/coding/base64.h>
#include <corvid/line_reader.h>
#include <tests/support/tree_difference.h>

#include <gtest/gtest.h>

#include <pthread.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

using corvid::internet::message2::depth_limit;
using corvid::internet::message2::entity;
using lines = std::vector<std::string>;

std::string temporary_path(const std::string& name) {
    return (std::filesystem::temp_directory_path() / ("corvid_reader_" + std::to_string(::getpid()) + "_" + name))
        .string();
}

// A message nested `levels` deep through multipart parts, each level with
// one part holding the next; the innermost part is plain text.
lines nested_multipart(unsigned levels) {
    lines out;
    for (unsigned i = 0; i < levels; ++i) {
        // "b1" would begin "b10": the x keeps every delimiter off the others.
        out.push_back("Content-Type: multipart/mixed; boundary=b" + std::to_string(i) + "x");
        out.push_back("");
        out.push_back("--b" + std::to_string(i) + "x");
    }
    out.push_back("");
    out.push_back("leaf");
    for (unsigned i = levels; i-- > 0;) out.push_back("--b" + std::to_string(i) + "x--");
    return out;
}

unsigned depth_of(const entity& e) {
    unsigned depth = 0;
    for (const entity* p = &e; !p->children.empty(); p = &p->children.front()) ++depth;
    return depth;
}

TEST(entity_reader, continuation_lines_join_with_one_blank) {
    const entity e(lines{"Subject: first", "  second", "\tthird", "Tabs:\tx\ty", "", "body"});
    ASSERT_EQ(e.headers.size(), 3u);
    EXPECT_EQ(e.headers[0].name, "Subject");
    EXPECT_EQ(e.headers[0].value, "first second third");
    // White space inside a line becomes blanks too, so a tab after the colon
    // separates name and value.
    EXPECT_EQ(e.headers[1].name, "Tabs");
    EXPECT_EQ(e.headers[1].value, "x y");
}

TEST(entity_reader, header_lines_split_at_the_first_colon) {
    const entity e(lines{"Empty:", "Glued::value", "X:  word", "Spaced:   : after  ", "Subject:Re: hi",
                         "Obsolete \t: form", "", ""});
    const std::pair<const char*, const char*> expected[] = {
        {"Empty", ""},           {"Glued", ":value"},    {"X", "word"},      {"Spaced", ": after  "},
        {"Subject", "Re: hi"},   {"Obsolete", "form"},   {"Content-Type", "text/plain; charset=\"iso-8859-1\""},
    };
    ASSERT_EQ(e.headers.size(), std::size(expected));
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        EXPECT_EQ(e.headers[i].name, expected[i].first);
        EXPECT_EQ(e.headers[i].value, expected[i].second);
    }
}

TEST(entity_reader, leading_white_space_on_first_line_starts_a_header) {
    const entity e(lines{"  Subject: x", "", "b"});
    ASSERT_EQ(e.headers.size(), 2u);
    EXPECT_EQ(e.headers[0].name, "Subject");
    EXPECT_EQ(e.headers[0].value, "x");
}

// A line that is no field ends the header as the empty line would, and is
// the first line of the body: nothing of it is lost or made a header.
TEST(entity_reader, header_ends_at_a_line_that_is_no_field) {
    const struct {
        const char* what;
        std::string text;
        std::vector<std::string> names;  // besides a default Content-Type
        std::string body;
    } cases[] = {
        {"no colon", "Subject: x\r\nno colon here\r\nmore", {"Subject"}, "no colon here\r\nmore"},
        {"a blank in the name", "Subject: x\r\nTwo words: y\r\n\r\nz", {"Subject"}, "Two words: y\r\n\r\nz"},
        {"a control character in the name", "A: 1\r\nB\x01: 2\r\n", {"A"}, "B\x01: 2\r\n"},
        {"an empty name", "A: 1\r\n: 2\r\n\r\nb", {"A"}, ": 2\r\n\r\nb"},
        {"no header at all", "Dear reader,\r\nSubject: none\r\n", {}, "Dear reader,\r\nSubject: none\r\n"},
        {"a separator of blanks", "A: 1\r\n \t \r\nbody", {"A"}, "body"},
        {"an mbox envelope line", "From MAILER-DAEMON Fri Apr 06 16:46:09 2001\r\nA: 1\r\n\r\nb", {"A"}, "b"},
        {"text that begins with From", "From the desk of\r\nthe writer", {}, "From the desk of\r\nthe writer"},
    };
    for (const auto& c : cases) {
        const entity e(c.text);
        std::vector<std::string> names;
        for (const auto& header : e.headers) names.push_back(header.name);
        std::vector<std::string> expected = c.names;
        expected.push_back("Content-Type");
        EXPECT_EQ(names, expected) << c.what;
        EXPECT_EQ(e.body.data, c.body) << c.what;
        // Written again, the text reads back the same.
        EXPECT_EQ(corvid::test::tree_difference(e, entity(e.write_text())), "") << c.what;
    }
}

TEST(entity_reader, default_content_type_is_added_only_when_missing) {
    const entity plain(lines{"Subject: x", "", "one", "two"});
    ASSERT_EQ(plain.headers.size(), 2u);
    EXPECT_EQ(plain.headers[1].name, "Content-Type");
    EXPECT_EQ(plain.headers[1].value, "text/plain; charset=\"iso-8859-1\"");
    EXPECT_EQ(plain.body.content_type, "text/plain");
    EXPECT_EQ(plain.body.charset, "iso-8859-1");

    const entity typed(lines{"content-type: TEXT/HTML; CharSet=\"UTF-8\"", "", "x"});
    ASSERT_EQ(typed.headers.size(), 1u);
    EXPECT_EQ(typed.body.content_type, "text/html");
    EXPECT_EQ(typed.body.charset, "utf-8");
}

TEST(entity_reader, first_content_type_counts_and_both_stay) {
    const entity e(lines{"Content-Type: multipart/mixed; boundary=\"AbC\"", "Content-Type: text/plain", "", "--AbC",
                         "", "x", "--AbC--"});
    ASSERT_EQ(e.headers.size(), 2u);
    EXPECT_EQ(e.body.content_type, "multipart/mixed");
    EXPECT_EQ(e.boundary, "AbC");
    ASSERT_EQ(e.children.size(), 1u);
    EXPECT_EQ(e.children[0].body.data, "x");
}

// What is no media type is text/plain in US-ASCII, and splits nothing.
TEST(entity_reader, invalid_media_types_are_plain_text) {
    for (const char* value : {"text", "application-x-gzip; name=a.gz", "text/", "/plain", "te xt/plain",
                              "multipart; boundary=b", "", "; charset=utf-8", "text/pl@in"}) {
        const entity e(std::string("Content-Type: ") + value + "\r\n\r\n--b\r\n\r\nx\r\n--b--");
        EXPECT_EQ(e.body.content_type, "text/plain") << value;
        EXPECT_EQ(e.body.charset, "us-ascii") << value;
        EXPECT_TRUE(e.children.empty()) << value;
        EXPECT_EQ(e.body.data, "--b\r\n\r\nx\r\n--b--") << value;
    }
    EXPECT_EQ(entity("Content-Type: application-x-gzip; name=a.gz\r\n\r\n").attachment().file_name, u"a.gz");
    EXPECT_EQ(entity("Content-Type: Image/X-Icon\r\n\r\n").body.content_type, "image/x-icon");
}

TEST(entity_reader, plain_body_keeps_line_breaks_between_lines) {
    // The break that ends the last line belongs to the message's end (or to
    // the boundary line that follows), so it is not part of the data.
    EXPECT_EQ(entity(lines{"", "one", "two"}).body.data, "one\r\ntwo");
    EXPECT_EQ(entity(lines{"", "one", ""}).body.data, "one\r\n");
    EXPECT_EQ(entity(lines{"", ""}).body.data, "");
    EXPECT_EQ(entity(lines{""}).body.data, "");
    EXPECT_EQ(entity(std::string("Subject: x\r\n\r\nline one\nline two\r\n")).body.data, "line one\r\nline two\r\n");
}

TEST(entity_reader, multipart_sections_preamble_parts_and_epilogue) {
    const entity e(lines{"Content-Type: multipart/mixed; boundary=\"sep\"", "", "preamble", "--sep",
                         "Content-Type: text/plain; charset=utf-8", "", "first", "--sep-", "--sepx", "--sep \t",
                         "", "second", "--sep-- ", "epilogue", "--sep", "ignored"});
    EXPECT_EQ(e.body.data, "preamble");
    // A line that begins with the delimiter is one, whatever follows it;
    // delimiter lines with nothing between them make no part.
    ASSERT_EQ(e.children.size(), 2u);
    EXPECT_EQ(e.children[0].body.data, "first");
    EXPECT_EQ(e.children[0].body.charset, "utf-8");
    EXPECT_EQ(e.children[1].body.data, "second");
    EXPECT_TRUE(e.children[1].children.empty());

    // A boundary of more than 70 characters, and one that ends in a blank
    // that the delimiter lines lost on the way.
    const std::string long_boundary(90, 'L');
    for (const std::string& boundary : {long_boundary, std::string("ends in a blank ")}) {
        const std::string trimmed = boundary.substr(0, boundary.find_last_not_of(' ') + 1);
        const entity m("Content-Type: multipart/mixed; boundary=\"" + boundary + "\"\r\n\r\n--" + trimmed +
                       "\r\n\r\none\r\n--" + trimmed + "\r\n\r\ntwo\r\n--" + trimmed + "--\r\n");
        ASSERT_EQ(m.children.size(), 2u) << boundary;
        EXPECT_EQ(m.children[1].body.data, "two") << boundary;
    }
}

TEST(entity_reader, missing_close_runs_last_part_to_the_end) {
    const entity e(lines{"Content-Type: multipart/mixed; boundary=x", "", "--x", "", "a", "--x", "", "b", "c"});
    ASSERT_EQ(e.children.size(), 2u);
    EXPECT_EQ(e.children[1].body.data, "b\r\nc");

    const entity none(lines{"Content-Type: multipart/mixed; boundary=x", "", "a", "b"});
    EXPECT_TRUE(none.children.empty());
    EXPECT_EQ(none.body.data, "a\r\nb");
}

TEST(entity_reader, only_multipart_bodies_are_split) {
    for (const char* type : {"text/html", "message/rfc822", "application/octet-stream"}) {
        const entity e(std::string("Content-Type: ") + type + "; boundary=q\r\n\r\npre\r\n--q\r\n\r\npart\r\n--q--");
        EXPECT_EQ(e.boundary, "") << type;
        const std::string& data = e.children.empty() ? e.body.data : e.children[0].body.data;
        EXPECT_EQ(data, "pre\r\n--q\r\n\r\npart\r\n--q--") << type;
    }
}

// In a digest a part without a Content-Type is an enclosed message.
TEST(entity_reader, digest_parts_default_to_messages) {
    const entity e("Content-Type: multipart/digest; boundary=d\r\n\r\n--d\r\n\r\nSubject: one\r\n\r\nfirst\r\n"
                   "--d\r\nContent-Type: text/plain\r\n\r\nnot a message\r\n--d--\r\n");
    ASSERT_EQ(e.children.size(), 2u);
    EXPECT_EQ(e.children[0].body.content_type, "message/rfc822");
    ASSERT_EQ(e.children[0].children.size(), 1u);
    EXPECT_EQ(e.children[0].children[0].headers.at(0).value, "one");
    EXPECT_EQ(e.children[0].children[0].body.data, "first");
    EXPECT_EQ(e.children[1].body.content_type, "text/plain");
    // Deeper down the usual default holds again.
    EXPECT_EQ(e.children[0].children[0].body.content_type, "text/plain");
    EXPECT_EQ(corvid::test::tree_difference(e, entity(e.write_text())), "");
}

// A transfer encoding on message/rfc822 is forbidden but sent: the enclosed
// message is read from the decoded text, never from the encoded lines.
TEST(entity_reader, encoded_enclosed_messages_are_decoded_first) {
    const std::string inner = "Subject: inner\r\n\r\nthe text \xC3\xA9\r\n";
    const std::string qp = "Subject: inner\r\n\r\nthe text =C3=A9\r\n";
    const std::pair<std::string, std::string> encodings[] = {
        {"base64", corvid::coding::base64_encode(inner, true)}, {"quoted-printable", qp}};
    for (const auto& [encoding, body] : encodings) {
        const entity e("Content-Type: multipart/mixed; boundary=m\r\n\r\n--m\r\nContent-Type: message/rfc822\r\n"
                       "Content-Transfer-Encoding: " + encoding + "\r\n\r\n" + body + "\r\n--m--\r\n");
        ASSERT_EQ(e.children.size(), 1u) << encoding;
        const entity& enclosed = e.children[0];
        ASSERT_EQ(enclosed.children.size(), 1u) << encoding;
        EXPECT_EQ(enclosed.children[0].headers.at(0).value, "inner") << encoding;
        EXPECT_EQ(enclosed.children[0].body.data, "the text \xC3\xA9\r\n") << encoding;
        EXPECT_EQ(enclosed.transfer_encoding(), "") << encoding;
        EXPECT_EQ(corvid::test::tree_difference(e, entity(e.write_text())), "") << encoding;
    }
    // Decoded, a line would end the part around it: the message stays
    // encoded in the body, to be written back as it came.
    const std::string clash = corvid::coding::base64_encode("Subject: x\r\n\r\n--m--\r\n", true);
    const entity kept("Content-Type: multipart/mixed; boundary=m\r\n\r\n--m\r\nContent-Type: message/rfc822\r\n"
                      "Content-Transfer-Encoding: base64\r\n\r\n" + clash + "\r\n--m--\r\n");
    ASSERT_EQ(kept.children.size(), 1u);
    EXPECT_TRUE(kept.children[0].children.empty());
    EXPECT_EQ(kept.children[0].body.data, "Subject: x\r\n\r\n--m--\r\n");
    EXPECT_EQ(corvid::test::tree_difference(kept, entity(kept.write_text())), "");
}

// Header text in UTF-8 as it stands is read as UTF-8; other bytes as before.
TEST(entity_reader, raw_utf8_header_values_are_utf8) {
    const entity e("Content-Type: text/plain; name=\"ci\xC3\xABle.txt\"\r\n\r\nx");
    EXPECT_EQ(e.attachment().file_name, u"ci\u00EBle.txt");
    const entity latin("Content-Type: text/plain; name=\"ci\xEBle.txt\"\r\n\r\nx");
    EXPECT_EQ(latin.attachment().file_name, u"ci\u00EBle.txt");
    corvid::internet::message2::header_type::unstructured_value_type subject;
    ASSERT_TRUE(entity("Subject: \xE2\x82\xAC 5\r\n\r\n").get_header("Subject", subject));
    EXPECT_EQ(subject.text(), u"\u20AC 5");
}

TEST(entity_reader, base64_decoding_ignores_line_structure) {
    const std::string encoded =
        "AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8gISIjJCUmJygpKissLS4vMDEyMzQ1Njc4OTo7PD0+P0BBQkNERUZH";
    std::string expected;
    for (int i = 0; i < 72; ++i) expected += static_cast<char>(i);

    const entity whole(lines{"Content-Transfer-Encoding: base64", "", encoded});
    EXPECT_EQ(whole.body.data, expected);
    const entity split(
        lines{"Content-Transfer-Encoding: BASE64", "", encoded.substr(0, 76), encoded.substr(76), ""});
    EXPECT_EQ(split.body.data, expected);
    // Lines whose lengths are not multiples of 4 are buffered until they are.
    const entity ragged(lines{"Content-Transfer-Encoding: base64", "", "AAE", "CAw", "QF"});
    EXPECT_EQ(ragged.body.data, std::string("\x00\x01\x02\x03\x04\x05", 6));
    // Characters outside the alphabet are skipped.
    EXPECT_EQ(entity(lines{"Content-Transfer-Encoding: base64", "", "QU*JD"}).body.data, "ABC");
}

TEST(entity_reader, quoted_printable_soft_breaks_and_bad_escapes) {
    const entity e(lines{"Content-Transfer-Encoding: quoted-printable", "", "caf=C3=A9 au =", "lait", "=3D end"});
    EXPECT_EQ(e.body.data, "caf\xC3\xA9 au lait\r\n= end");
    // A stray "=" does not make the message unreadable; it stays as written.
    const entity bad(lines{"Content-Transfer-Encoding: quoted-printable", "", "100=ZZ sure", "x=4"});
    EXPECT_EQ(bad.body.data, "100=ZZ sure\r\nx=4");
}

TEST(entity_reader, undecodable_encoded_words_do_not_stop_reading) {
    // A lone Shift_JIS lead byte cannot be converted.
    const entity e(lines{"Content-Type: Multipart/Mixed; name=\"=?shift_jis?B?gQ==?=\"; boundary=\"b\" ; charset=X", "",
                         "--b", "Content-Type: application/octet-stream",
                         "Content-Disposition: attachment; filename=\"=?shift_jis?B?gQ==?=.eml\"",
                         "Content-Transfer-Encoding: =?shift_jis?B?gQ==?=", "", "Subject: kept as bytes", "--b--"});
    EXPECT_EQ(e.body.content_type, "multipart/mixed");
    EXPECT_EQ(e.boundary, "b");
    EXPECT_EQ(e.body.charset, "x");
    ASSERT_EQ(e.children.size(), 1u);
    EXPECT_TRUE(e.children[0].children.empty());
    EXPECT_EQ(e.children[0].body.data, "Subject: kept as bytes");
}

TEST(entity_reader, enclosed_message_is_one_child) {
    const entity e(lines{"Content-Type: Message/RFC822", "", "Subject: inner", "", "text", "more"});
    EXPECT_EQ(e.body.content_type, "message/rfc822");
    EXPECT_TRUE(e.body.data.empty());
    ASSERT_EQ(e.children.size(), 1u);
    EXPECT_EQ(e.children[0].headers[0].value, "inner");
    EXPECT_EQ(e.children[0].body.data, "text\r\nmore");
}

TEST(entity_reader, eml_attachment_becomes_enclosed_message) {
    // "Subject: hi\r\n\r\nbody\r\n" in base64.
    const entity e(lines{"Content-Type: multipart/mixed; boundary=m", "", "--m",
                         "Content-Type: application/octet-stream",
                         "Content-Disposition: attachment; filename=\"Forwarded.EmL\"",
                         "Content-Transfer-Encoding: base64", "", "U3ViamVjdDogaGkNCg0KYm9keQ0K", "--m--"});
    ASSERT_EQ(e.children.size(), 1u);
    const entity& part = e.children[0];
    EXPECT_EQ(part.body.content_type, "message/rfc822");
    EXPECT_TRUE(part.body.data.empty());
    EXPECT_EQ(part.transfer_encoding(), "");
    ASSERT_EQ(part.children.size(), 1u);
    EXPECT_EQ(part.children[0].headers[0].value, "hi");
    EXPECT_EQ(part.children[0].body.data, "body\r\n");

    const entity other(lines{"Content-Type: application/octet-stream; name=\"a.emlx\"", "", "data"});
    EXPECT_TRUE(other.children.empty());
    EXPECT_EQ(other.body.data, "data");

    // A Content-Type that cannot be decoded is written from the body fields
    // alone: the file name is read from what will be written, so that the
    // choice is the same on the next reading.
    const entity undecodable(lines{"Content-Type: application/octet-stream; name=\"=?cp1-1?B?w6lsw6h2ZQ==?=\"",
                                   "Content-Disposition: attachment; filename=m.eml", "", "Subject: hi"});
    EXPECT_EQ(undecodable.body.content_type, "message/rfc822");
    EXPECT_EQ(corvid::test::tree_difference(undecodable, entity(undecodable.write_text())), "");
    // Read from its raw tokens, an empty media type is no media type either.
    const entity raw(lines{"Content-Type: ; boundary=b; name=\"=?cp1-1?B?w6k=?=\"", ""});
    EXPECT_EQ(raw.body.content_type, "text/plain");
    EXPECT_EQ(raw.boundary, "");
}

TEST(entity_reader, depth_limit_stops_at_sixty_four_levels) {
    const lines deepest = nested_multipart(64);
    const entity e(deepest);
    EXPECT_EQ(depth_of(e), 64u);

    EXPECT_THROW(entity(nested_multipart(65)), depth_limit);
    // The same structure one level shallower reads from depth 1, not from 0.
    EXPECT_THROW(entity(deepest.begin(), deepest.end(), 1), depth_limit);
    const lines leaf_child{"Content-Type: message/rfc822", "", "Subject: x", "", "y"};
    EXPECT_NO_THROW(entity(leaf_child.begin(), leaf_child.end(), 63));
    EXPECT_THROW(entity(leaf_child.begin(), leaf_child.end(), 64), depth_limit);
    try {
        entity(std::string("Content-Type: message/rfc822\r\n\r\n"), 64);
        FAIL() << "no depth_limit";
    } catch (const depth_limit& error) {
        EXPECT_NE(std::string(error.what()).find("MIME tree depth exceeded"), std::string::npos);
    }
    // An .eml attachment counts as a level too.
    const lines eml{"Content-Type: application/octet-stream", "Content-Disposition: attachment; filename=x.eml", "",
                    "Subject: y"};
    EXPECT_THROW(entity(eml.begin(), eml.end(), 64), depth_limit);
    EXPECT_EQ(entity(eml.begin(), eml.end(), 63).children.size(), 1u);
}

// Runs body on a thread whose stack is only `size` bytes.
template <typename Body>
void on_small_stack(std::size_t size, Body body) {
    pthread_attr_t attributes;
    ASSERT_EQ(pthread_attr_init(&attributes), 0);
    ASSERT_EQ(pthread_attr_setstacksize(&attributes, size), 0);
    pthread_t thread;
    auto run = [](void* argument) -> void* {
        (*static_cast<Body*>(argument))();
        return nullptr;
    };
    ASSERT_EQ(pthread_create(&thread, &attributes, run, &body), 0);
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attributes);
}

TEST(entity_reader, deepest_trees_read_on_a_small_stack) {
    std::string enclosed = "Subject: leaf\r\n\r\nx";
    std::string attached = enclosed;
    for (int i = 0; i < 64; ++i) {
        enclosed = "Content-Type: message/rfc822\r\n\r\n" + enclosed;
        attached = "Content-Type: application/octet-stream\r\nContent-Disposition: attachment; filename=m.eml\r\n\r\n" +
                   attached;
    }
    const lines multipart = nested_multipart(64);
    unsigned depths[3] = {};
    // Every level of reading recursion must stay small, sanitizers included.
    on_small_stack(256 * 1024, [&] {
        depths[0] = depth_of(entity(multipart));
        depths[1] = depth_of(entity(enclosed));
        depths[2] = depth_of(entity(attached));
    });
    EXPECT_EQ(depths[0], 64u);
    EXPECT_EQ(depths[1], 64u);
    EXPECT_EQ(depths[2], 64u);
}

TEST(entity_reader, load_reads_files_and_reports_missing_ones) {
    const std::string missing = temporary_path("missing.eml");
    try {
        static_cast<void>(entity::load(missing));
        FAIL() << "no exception";
    } catch (const corvid::internet::message2::generic& error) {
        const std::string what = error.what();
        EXPECT_NE(what.find("unable to open file for input: " + missing), std::string::npos) << what;
    }

    // A NUL byte would cut the name short and read another file.
    const std::string real = temporary_path("real.eml");
    std::ofstream(real, std::ios::binary) << "\r\nbody";
    EXPECT_THROW(static_cast<void>(entity::load(real + std::string("\0.bak", 5))),
                 corvid::internet::message2::generic);
    std::remove(real.c_str());

    // Sizes around the 8192-byte read blocks.
    for (const std::size_t size : {8191u, 8192u, 8193u, 16384u}) {
        const std::string path = temporary_path("block.eml");
        const std::string body(size - 2, 'x');
        std::ofstream(path, std::ios::binary) << "\r\n" << body;
        EXPECT_TRUE(entity::load(path).body.data == body) << size;
        std::remove(path.c_str());
    }
}

TEST(entity_reader, written_messages_read_back_to_the_same_lines) {
    using corvid::internet::message2::header_type::unstructured_value_type;
    entity message;
    message.body.content_type = "multipart/mixed";
    message.boundary = "outer";
    message.add_header("Subject", "round trip");
    message.body.data = "preamble\r\n";

    entity text;
    text.body.charset = "utf-8";
    text.body.set_text(u"caf\u00e9 line one\r\nline two");
    text.add_header("Content-Transfer-Encoding", "quoted-printable");
    message.children.push_back(text);

    entity binary;
    binary.body.content_type = "application/octet-stream";
    for (int i = 0; i < 300; ++i) binary.body.data += static_cast<char>(i * 7);
    binary.add_header("Content-Transfer-Encoding", "base64");
    message.children.push_back(binary);

    entity plain;
    plain.body.data = "last part\r\n\r\nwith empty line\r\n";
    entity enclosed;
    enclosed.body.content_type = "message/rfc822";
    enclosed.children.push_back(plain);
    message.children.push_back(enclosed);
    message.children.push_back(entity());  // no data at all

    const lines written = message.write();
    const entity read(written);
    EXPECT_EQ(read.write(), written);
    EXPECT_EQ(read.children.size(), 4u);
    EXPECT_EQ(read.children[0].body.data, text.body.data);
    EXPECT_EQ(read.children[1].body.data, binary.body.data);
    EXPECT_EQ(read.children[2].children.at(0).body.data, plain.body.data);

    // Through a file: a multipart message comes back line for line (save
    // ends the closing boundary line, and what follows it is dropped).
    const std::string path = temporary_path("round.eml");
    read.save(path);
    EXPECT_EQ(entity::load(path).write(), written);
    std::remove(path.c_str());
}

TEST(entity_reader, rfc2231_parameters_name_files_and_boundaries) {
    // A file name in sections, out of order and cut inside a character.
    const entity named(lines{"Content-Type: application/pdf",
                             "Content-Disposition: attachment; filename*1*=%A9.pdf;", " filename*0*=UTF-8''r%C3",
                             "", "x"});
    EXPECT_EQ(named.attachment().file_name, u"r\u00E9.pdf");
    // name* on the Content-Type, read when there is no Content-Disposition.
    EXPECT_EQ(entity(lines{"Content-Type: image/png; name*=utf-8''%C3%BC.png", "", ""}).attachment().file_name,
              u"\u00FC.png");
    // A .eml attachment named this way is an enclosed message.
    const entity eml(lines{"Content-Type: application/octet-stream",
                           "Content-Disposition: attachment; filename*=UTF-8''Nachricht.EML", "", "Subject: inner",
                           "", "text"});
    EXPECT_EQ(eml.body.content_type, "message/rfc822");
    ASSERT_EQ(eml.children.size(), 1u);
    // Boundary and charset in the extended form.
    const entity multipart(lines{"Content-Type: multipart/mixed; boundary*=''sep", "", "--sep",
                                 "Content-Type: text/plain; charset*=us-ascii'en'ISO-8859-2", "", "a", "--sep--"});
    EXPECT_EQ(multipart.boundary, "sep");
    ASSERT_EQ(multipart.children.size(), 1u);
    EXPECT_EQ(multipart.children[0].body.charset, "iso-8859-2");
}

}  // namespace

namespace {

// Lines of the kinds that make a reader choose: clean and broken base64,
// padding in the middle, trailing blanks, delimiter look-alikes, uuencoded
// blocks, stray escapes and dashes.
const char* const line_kinds[] = {
    "QUJDREVGR0hJSktMTU5PUFFSU1RVVldYWVphYmNkZWZnaGlqa2xtbm9wcXJzdHV2d3h5ejAxMjM0",
    "YQ==", "YWI=", "YWJj", "YQ==YWJj", "YWJj \t", "YW Jj", "Y!Wj", "=", "",
    "--b", "--b--", "--b \t", "--bx", " --b", "-", "--", "--c", "--c--",
    "begin 644 f.txt", "#86)C", "`", "end", "begin 644 f.txt\r\n#86)C\r\n`\r\nend", "caf=C3=A9 =", "=4",
    "plain text -- with dashes",
};

std::string random_message(std::mt19937& random) {
    const char* const ends[] = {"\r\n", "\r\n", "\r\n", "\n", "\r", "\n\r"};
    const char* const headers[] = {"Content-Transfer-Encoding: base64", "Content-Transfer-Encoding: quoted-printable",
                                   "Content-Type: multipart/mixed; boundary=c", "Content-Type: message/rfc822",
                                   "Content-Type: text/plain", "Subject: x"};
    std::string text = "Content-Type: multipart/mixed; boundary=\"b\"";
    const std::size_t count = 1 + random() % 40;
    for (std::size_t i = 0; i < count; ++i) {
        text += ends[random() % std::size(ends)];
        // Now and then a header, mostly so that parts get encodings.
        text += random() % 5 == 0 ? headers[random() % std::size(headers)]
                                  : line_kinds[random() % std::size(line_kinds)];
    }
    if (random() % 2 == 0) text += ends[random() % std::size(ends)];
    return text;
}

}  // namespace

// Text is read from views of one buffer, with whole sections decoded at once
// and boundaries searched for; a list of lines is read line by line. The
// two must build the same tree from the same message.
TEST(entity_reader, text_and_lines_read_alike) {
    std::mt19937 random(20261209);
    for (int round = 0; round < 3000; ++round) {
        const std::string text = random_message(random);
        SCOPED_TRACE(testing::PrintToString(text));
        lines cut;
        corvid::line_reader reader(text);
        reader.finish();
        reader.get_lines(cut);
        const entity from_text{std::string_view(text)};
        EXPECT_EQ(corvid::test::tree_difference(from_text, entity(cut)), "");
        if (testing::Test::HasFailure()) break;
    }
}
