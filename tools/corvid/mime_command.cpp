#include "commands.h"
#include "io.h"

#include <corvid/exception.h>
#include <corvid/internet/message2/entity.h>
#include <corvid/internet/message2/header_type/addresses_value_type.h>
#include <corvid/internet/message2/header_type/parametized_value_type.h>
#include <corvid/internet/message2/header_type/unstructured_value_type.h>
#include <corvid/line_reader.h>
#include <corvid/line_writer.h>
#include <corvid/unicode/charset.h>
#include <corvid/unicode/convert.h>
#include <corvid/unicode/errors.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace corvid_tool {

namespace {

namespace message2 = corvid::internet::message2;
namespace header_type = corvid::internet::message2::header_type;
namespace unicode = corvid::unicode;


struct compose_options {
    std::vector<std::string> headers;
    std::string subject;
    std::vector<std::string> to;
    std::string text_file;
    std::string charset = "utf-8";
    std::string encoding;
    std::vector<std::string> attachments;
};

// Command-line text is taken as UTF-8; the conversion would quietly replace
// broken sequences, so they are refused instead.
std::u16string from_utf8(const std::string& bytes, const std::string& what) {
    std::u16string text = unicode::to_wide(bytes, unicode::utf8_codepage);
    if (unicode::to_narrow(text, unicode::utf8_codepage) != bytes) throw corvid::exception(what + " is not valid UTF-8");
    return text;
}

void add_raw_header(message2::entity& message, const std::string& option) {
    // The option itself is left out of the message: it would break the one
    // error line in two.
    if (option.find_first_of("\r\n") != option.npos) throw corvid::exception("--header may not hold a line break");
    const std::size_t colon = option.find(':');
    const std::string name = option.substr(0, colon);
    if (colon == option.npos || name.empty() ||
        std::any_of(name.begin(), name.end(), [](unsigned char c) { return c <= ' ' || c >= 127; }))
        throw corvid::exception("--header wants \"Name: value\", got: " + option);
    const std::size_t value = option.find_first_not_of(" \t", colon + 1);
    message.add_header(name, value == option.npos ? std::string() : option.substr(value));
}

// Plain ASCII in lines a transport accepts unchanged.
bool fits_7bit(const std::string& data) {
    std::size_t line = 0;
    for (const unsigned char c : data) {
        if (c == 0 || c >= 128) return false;
        line = (c == '\r' || c == '\n') ? 0 : line + 1;
        if (line > 998) return false;
    }
    return true;
}

std::string file_name_of(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == path.npos ? path : path.substr(slash + 1);
}

std::string make_boundary() {
    std::random_device source;
    std::string boundary = "=_corvid_";
    static const char digits[] = "0123456789abcdef";
    for (int i = 0; i < 24; ++i) boundary += digits[source() % 16];
    return boundary;
}

// Every line end (CR, LF, CR LF or LF CR) as CR LF.
std::string with_crlf(const std::string& data) {
    std::vector<std::string> lines;
    corvid::line_reader reader(data);
    reader.finish();
    reader.get_lines(lines);
    std::string text;
    for (std::size_t i = 0; i < lines.size(); ++i) text += (i == 0 ? "" : "\r\n") + lines[i];
    return text;
}

// The text part: body in the chosen charset and its transfer encoding.
void fill_text(message2::entity& part, const compose_options& options) {
    const std::u16string text = from_utf8(read_input(options.text_file), options.text_file);
    part.body.charset = options.charset;
    const int codepage = unicode::codepage_from_charset(options.charset);
    // An unknown name would store any character up to U+00FF as one byte
    // under a label that promises something else.
    if (codepage == unicode::no_codepage && std::any_of(text.begin(), text.end(), [](char16_t c) { return c > 127; }))
        throw corvid::exception("charset " + options.charset + " cannot hold the text of " + options.text_file);
    try {
        part.body.set_text(text);
    } catch (const corvid::exception& e) {
        throw corvid::exception("charset " + options.charset + " cannot hold the text of " + options.text_file +
                                ": " + e.what());
    }
    std::string encoding = options.encoding;
    if (encoding.empty()) encoding = fits_7bit(part.body.data) ? "7bit" : "base64";
    // The writer keeps a lone CR or LF of quoted-printable data as a byte;
    // the line ends of a text file are line breaks.
    if (encoding == "quoted-printable") part.body.data = with_crlf(part.body.data);
    if (encoding == "7bit" && !fits_7bit(part.body.data))
        throw corvid::exception("--encoding 7bit needs ASCII text in lines of at most 998 bytes");
    part.add_header("Content-Transfer-Encoding", encoding);
}

// A value with one parameter, non-ASCII text in UTF-8 encoded words.
header_type::parametized_value_type with_parameter(const std::u16string& text, const std::string& name,
                                                   const std::u16string& value) {
    header_type::parametized_value_type kind("utf-8");
    kind.set_text(text);
    kind.set_parameter(name, value);
    return kind;
}

message2::entity make_attachment(const std::string& path) {
    const std::u16string name = from_utf8(file_name_of(path), "the file name of " + path);
    message2::entity part;
    part.headers.clear();
    part.body.content_type = "application/octet-stream";
    part.body.data = read_input(path);
    part.add_header("Content-Type", with_parameter(u"application/octet-stream", "name", name));
    part.add_header("Content-Transfer-Encoding", "base64");
    part.add_header("Content-Disposition", with_parameter(u"attachment", "filename", name));
    return part;
}

message2::entity compose(const compose_options& options) {
    const std::string& encoding = options.encoding;
    if (!encoding.empty() && encoding != "base64" && encoding != "quoted-printable" && encoding != "7bit")
        throw corvid::exception("--encoding must be base64, quoted-printable or 7bit, not " + encoding);
    message2::entity message;
    if (options.attachments.empty()) {
        if (!options.text_file.empty()) fill_text(message, options);
    } else {
        message.body.content_type = "multipart/mixed";
        message.boundary = make_boundary();
        if (!options.text_file.empty()) {
            message.children.emplace_back();
            fill_text(message.children.back(), options);
        }
        for (const std::string& path : options.attachments) message.children.push_back(make_attachment(path));
    }
    if (!options.to.empty()) {
        header_type::addresses_value_type to("utf-8");
        const std::string not_ascii = "--to addresses must be ASCII without control characters";
        // Read as header text whose undecorated bytes are UTF-8, so that
        // "Name <addr>, Other <addr>" gives two mailboxes.
        for (const std::string& entry : options.to) {
            from_utf8(entry, "--to");
            header_type::addresses_value_type one("utf-8");
            // An address in angle brackets is kept as single bytes, so one
            // beyond U+00FF cannot be stored at all.
            try {
                one.parse(entry);
            } catch (const unicode::unmappable_character&) {
                throw corvid::exception(not_ascii);
            }
            if (one.addresses.empty()) throw corvid::exception("--to holds no address: " + entry);
            // Addresses are written as they stand: a line break in one, typed
            // or decoded from an encoded word, would start a header line of
            // its own, and other non-ASCII bytes would not be the UTF-8 given.
            for (const auto& mailbox : one.addresses)
                if (std::any_of(mailbox.address.begin(), mailbox.address.end(),
                                [](unsigned char c) { return c < ' ' || c >= 127; }))
                    throw corvid::exception(not_ascii);
            to.addresses.insert(to.addresses.end(), one.addresses.begin(), one.addresses.end());
        }
        message.add_header("To", to);
    }
    if (!options.subject.empty()) {
        header_type::unstructured_value_type subject("utf-8");
        subject.set_text(from_utf8(options.subject, "--subject"));
        message.add_header("Subject", subject);
    }
    for (const std::string& header : options.headers) add_raw_header(message, header);
    return message;
}

}  // namespace

void add_mime_command(CLI::App& app) {
    auto* mime = app.add_subcommand("mime", "Build and read MIME messages");
    mime->require_subcommand(1);

    auto options = std::make_shared<compose_options>();
    auto* cmd = mime->add_subcommand("compose", "Build one message and write it with CR LF line ends");
    cmd->add_option("--header", options->headers, "A raw header \"Name: value\" (repeatable, kept in order)");
    cmd->add_option("--subject", options->subject, "Subject text (UTF-8)");
    cmd->add_option("--to", options->to, "Recipient \"Name <addr>\" (repeatable)");
    cmd->add_option("--text", options->text_file, "File with the body text in UTF-8 (- for standard input)");
    cmd->add_option("--charset", options->charset, "Charset the text is stored in")->capture_default_str();
    cmd->add_option("--encoding", options->encoding,
                    "Transfer encoding of the text: base64, quoted-printable or 7bit "
                    "(default: 7bit for plain ASCII, else base64)");
    cmd->add_option("--attach", options->attachments, "File to attach in base64 (repeatable)");
    cmd->callback([options] {
        std::string text;
        corvid::line_writer(compose(*options).write()).take_text(text);
        write_output(text);
    });
    add_mime_read_commands(*mime);
}

}  // namespace corvid_tool
