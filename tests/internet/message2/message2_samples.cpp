// SPDX-License-Identifier: MIT
// Writes messages built with the library into a folder, with a manifest of
// what was put into each, for an independent reader to check:
//   message2_samples FOLDER
// The manifest (FOLDER/manifest.json) lists per message its file, the
// decoded header texts, and the leaf parts in reading order with their media
// type, charset, text or bytes, and file name.

#include <corvid/internet/message2/entity.h>
#include <corvid/internet/message2/header_type/addresses_value_type.h>
#include <corvid/internet/message2/header_type/parametized_value_type.h>
#include <corvid/internet/message2/header_type/unstructured_value_type.h>

#include <cstdio>
#include <exception>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

namespace message2 = corvid::internet::message2;
namespace header_type = corvid::internet::message2::header_type;

std::string json_text(const std::u16string& text) {
    std::string out = "\"";
    for (const char16_t c : text) {
        if (c >= 0x20 && c < 0x7F && c != u'"' && c != u'\\') {
            out += static_cast<char>(c);
        } else {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
            out += escape;
        }
    }
    return out + "\"";
}

std::string json_text(const std::string& ascii) {
    return json_text(std::u16string(ascii.begin(), ascii.end()));
}

std::string hex(const std::string& bytes) {
    std::string out;
    char digits[3];
    for (const unsigned char c : bytes) {
        std::snprintf(digits, sizeof digits, "%02x", c);
        out += digits;
    }
    return "\"" + out + "\"";
}

// One message file and what an independent reader must find in it.
struct sample {
    std::string name;
    message2::entity message;
    std::vector<std::string> headers;  // JSON members "Name": "decoded text"
    std::vector<std::string> leaves;   // JSON objects
};

void add_header(sample& s, const std::string& name, const header_type::generic_value_type& value,
                const std::u16string& decoded) {
    s.message.add_header(name, value);
    s.headers.push_back(json_text(name) + ": " + json_text(decoded));
}

std::string text_leaf(const message2::entity& part, const std::string& extra = "") {
    return "{\"content_type\": " + json_text(part.body.content_type) + ", \"charset\": " +
           json_text(part.body.charset) + ", \"text\": " + json_text(part.body.text()) + extra + "}";
}

message2::entity text_part(const std::string& charset, const std::string& encoding, const std::u16string& text) {
    message2::entity part;
    part.add_header("Content-Transfer-Encoding", encoding);
    part.body.charset = charset;
    part.body.set_text(text);
    return part;
}

message2::entity file_part(const std::string& type, const std::u16string& name, const std::string& bytes) {
    message2::entity part;
    part.body.content_type = type;
    part.body.data = bytes;
    part.add_header("Content-Transfer-Encoding", "base64");
    // Built as raw text here, so that the reader sees the value kind's
    // rendering of the name only.
    header_type::parametized_value_type name_only("utf-8");
    name_only.set_parameter("filename", name);
    part.add_header("Content-Disposition", "attachment" + name_only.render());
    return part;
}

// A sample whose message has a Subject in the given charset.
sample with_subject(const std::string& name, const std::string& charset, const std::u16string& text) {
    sample s{name, {}, {}, {}};
    header_type::unstructured_value_type subject(charset);
    subject.set_text(text);
    add_header(s, "Subject", subject, subject.text());
    return s;
}

std::string file_leaf(const message2::entity& part, const std::u16string& name) {
    return "{\"content_type\": " + json_text(part.body.content_type) + ", \"data\": " + hex(part.body.data) +
           ", \"filename\": " + json_text(name) + "}";
}

const std::u16string log_text =
    u"Action start 10:00:01: INSTALL.\r\n"
    u"Fehler beim \u00D6ffnen der Datei \u00BBsetup.ini\u00AB.\r\n"
    u"dialog SetupError 2755.\r\n";

std::vector<sample> samples() {
    std::vector<sample> all;

    {  // The error report: UTF-8 in base64, non-ASCII subject and recipient.
        sample s{"report_base64", {}, {}, {}};
        s.message.add_header("Content-Transfer-Encoding", "base64");
        header_type::addresses_value_type to("utf-8");
        to.add_address("support@example.com", u"Installation S\u00FCpport");
        to.add_address("second@example.com", u"Smith, \"J\"");
        s.message.add_header("To", to);
        s.headers.push_back("\"To:addresses\": [[" + json_text(to.addresses[0].display_name) + ", " +
                            json_text(to.addresses[0].address) + "], [" + json_text(to.addresses[1].display_name) +
                            ", " + json_text(to.addresses[1].address) + "]]");
        header_type::unstructured_value_type subject("utf-8");
        subject.set_text(u"Installationsfehler (Code: 1603) \u2013 Bericht");
        add_header(s, "Subject", subject, subject.text());
        s.message.body.charset = "utf-8";
        s.message.body.set_text(log_text);
        s.leaves.push_back(text_leaf(s.message));
        all.push_back(std::move(s));
    }
    {  // Latin-1 in quoted-printable: long lines, trailing blanks, "=" signs.
        sample s = with_subject("latin1_quoted_printable", "iso-8859-1", u"R\u00E9sum\u00E9 des \u00E9tapes");
        s.message.add_header("Content-Transfer-Encoding", "quoted-printable");
        std::u16string text = u"caf\u00E9 = cr\u00E8me br\u00FBl\u00E9e\r\n";
        for (int i = 0; i < 40; ++i) text += u"\u00E9t\u00E9 ";
        text += u"\r\ntrailing blank \r\n\tand a tab\r\n_?\"=\r\n";
        s.message.body.set_text(text);
        s.leaves.push_back(text_leaf(s.message));
        all.push_back(std::move(s));
    }
    {  // Plain ASCII without transfer encoding.
        sample s = with_subject("ascii_7bit", "iso-8859-1", u"Plain  report");
        s.message.add_header("Content-Transfer-Encoding", "7bit");
        s.message.body.set_text(u"line one\r\nline two\r\n\r\nafter an empty line");
        s.leaves.push_back(text_leaf(s.message));
        all.push_back(std::move(s));
    }
    {  // A subject with a line break cannot split into two headers.
        sample s = with_subject("subject_line_break", "iso-8859-1", u"first\r\nBcc: someone@example.com");
        s.message.body.set_text(u"body");
        s.leaves.push_back(text_leaf(s.message));
        all.push_back(std::move(s));
    }
    {  // multipart/mixed: text and two attachments.
        sample s = with_subject("multipart_attachments", "utf-8", u"Anh\u00E4nge");
        s.message.body.content_type = "multipart/mixed";
        s.message.boundary = "=_sample_boundary_1";
        s.message.children.push_back(text_part("utf-8", "quoted-printable", u"Siehe Anhang \u2192\r\n"));
        std::string binary;
        for (int i = 0; i < 256; ++i) binary += static_cast<char>(i);
        binary += std::string("\r\n\r\n\n\r", 4);
        s.message.children.push_back(file_part("application/octet-stream", u"setup \u00FCbersicht.bin", binary));
        s.message.children.push_back(file_part("image/png", u"say \"cheese\".png", "\x89PNG\r\n\x1a\n"));
        s.leaves.push_back(text_leaf(s.message.children[0]));
        s.leaves.push_back(file_leaf(s.message.children[1], u"setup \u00FCbersicht.bin"));
        s.leaves.push_back(file_leaf(s.message.children[2], u"say \"cheese\".png"));
        all.push_back(std::move(s));
    }
    {  // An enclosed message/rfc822 inside multipart/mixed.
        sample s = with_subject("enclosed_message", "iso-8859-1", u"Fwd: original");
        s.message.body.content_type = "multipart/mixed";
        s.message.boundary = "outer-boundary";
        s.message.children.push_back(text_part("iso-8859-1", "7bit", u"Forwarded message below.\r\n"));
        message2::entity wrapper;
        wrapper.body.content_type = "message/rfc822";
        message2::entity inner = text_part("iso-8859-1", "base64", u"Inner body: na\u00EFve.\r\n");
        header_type::unstructured_value_type inner_subject;
        inner_subject.set_text(u"Original \u00E0 lire");
        inner.add_header("Subject", inner_subject);
        wrapper.children.push_back(inner);
        s.message.children.push_back(wrapper);
        s.leaves.push_back(text_leaf(s.message.children[0]));
        s.leaves.push_back(text_leaf(inner, ", \"headers\": {\"Subject\": " + json_text(inner_subject.text()) + "}"));
        all.push_back(std::move(s));
    }
    return all;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: message2_samples FOLDER\n");
        return 2;
    }
    try {
        const std::string folder = argv[1];
        std::string manifest = "[\n";
        bool first = true;
        for (sample& s : samples()) {
            s.message.save(folder + "/" + s.name + ".eml");
            if (!first) manifest += ",\n";
            first = false;
            manifest += "{\"file\": " + json_text(s.name + ".eml") + ",\n \"single\": " +
                        (s.message.children.empty() ? "true" : "false") + ",\n \"headers\": {";
            for (std::size_t i = 0; i < s.headers.size(); ++i) manifest += (i ? ", " : "") + s.headers[i];
            manifest += "},\n \"leaves\": [";
            for (std::size_t i = 0; i < s.leaves.size(); ++i) manifest += (i ? ",\n  " : "\n  ") + s.leaves[i];
            manifest += "]}";
        }
        manifest += "\n]\n";
        std::ofstream out(folder + "/manifest.json", std::ios::binary);
        out << manifest;
        out.close();
        if (!out) throw std::runtime_error("cannot write the manifest");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "message2_samples: %s\n", e.what());
        return 1;
    }
    return 0;
}
