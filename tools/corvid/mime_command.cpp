// SPDX-License-Identifier: MIT
#include "commands.h"
#include "io.h"

#include <corvid/exception.h>
#include <corvid/internet/message2/entity.h>
#include <corvid/internet/message2/header_type/addresses_value_type.h>
#include <corvid/internet/message2/header_type/parametized_value_type.h>
#include <corvid/internet/message2/header_type/unstructured_value_type.h>
#include <corvid/internet/message2/media_types.h>
#include <corvid/internet/message2/message_id.h>
#include <corvid/line_reader.h>
#include <corvid/line_writer.h>
#include <corvid/rfc822_date.h>
#include <corvid/text.h>
#include <corvid/unicode/charset.h>
#include <corvid/unicode/convert.h>
#include <corvid/unicode/errors.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <ctime>
#include <memory>
#include <optional>
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
    std::string from;
    std::vector<std::string> to;
    std::string text_file;
    std::string html_file;
    std::string charset = "utf-8";
    std::string encoding;
    std::vector<std::string> attachments;
    std::vector<std::string> inline_files;
};

// Command-line text is taken as UTF-8; the conversion would quietly replace
// broken sequences, so they are refused instead.
std::u16string from_utf8(const std::string& bytes, const std::string& what) {
    std::u16string text = unicode::to_wide(bytes, unicode::utf8_codepage);
    if (unicode::to_narrow(text, unicode::utf8_codepage) != bytes) throw corvid::exception(what + " is not valid UTF-8");
    return text;
}

// The name of a --header option, which must be "Name: value".
std::string raw_header_name(const std::string& option) {
    const std::size_t colon = option.find(':');
    return colon == option.npos ? std::string() : option.substr(0, colon);
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

// A text part from a UTF-8 file: body in the chosen charset and its
// transfer encoding.
void fill_text(message2::entity& part, const std::string& file, const std::string& media_type,
               const compose_options& options) {
    const std::u16string text = from_utf8(read_input(file), file);
    part.body.content_type = media_type;
    part.body.charset = options.charset;
    const int codepage = unicode::codepage_from_charset(options.charset);
    // An unknown name would store any character up to U+00FF as one byte
    // under a label that promises something else.
    if (codepage == unicode::no_codepage && std::any_of(text.begin(), text.end(), [](char16_t c) { return c > 127; }))
        throw corvid::exception("charset " + options.charset + " cannot hold the text of " + file);
    try {
        part.body.set_text(text);
    } catch (const corvid::exception& e) {
        throw corvid::exception("charset " + options.charset + " cannot hold the text of " + file + ": " +
                                e.what());
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

// A file as a base64 part, its media type by its name; disposition is
// "attachment" or "inline".
message2::entity make_file_part(const std::string& path, const std::u16string& disposition) {
    const std::string file_name = file_name_of(path);
    const std::u16string name = from_utf8(file_name, "the file name of " + path);
    message2::entity part;
    part.headers.clear();
    part.body.content_type = message2::media_type_table::system().type_of(file_name);
    // The bytes are sent as they are: no charset is claimed for them.
    part.body.charset.clear();
    part.body.data = read_input(path);
    part.add_header("Content-Type", with_parameter(unicode::to_wide(part.body.content_type, unicode::utf8_codepage),
                                                   "name", name));
    part.add_header("Content-Transfer-Encoding", "base64");
    part.add_header("Content-Disposition", with_parameter(disposition, "filename", name));
    return part;
}

// The Content-ID of an inline file, which the HTML refers to as "cid:" and
// the file's name: characters that a message identifier cannot hold become
// "_".
std::string content_id_of(const std::string& path) {
    std::string id = file_name_of(path);
    for (char& c : id)
        if (!std::isalnum(static_cast<unsigned char>(c)) &&
            std::string_view("!#$%&'*+-/=?^_`{|}~.").find(c) == std::string_view::npos)
            c = '_';
    return "<" + id + ">";
}

message2::entity make_inline(const std::string& path) {
    message2::entity part = make_file_part(path, u"inline");
    part.add_header("Content-ID", content_id_of(path));
    return part;
}

// A multipart entity of the given subtype holding parts.
message2::entity make_multipart(const std::string& subtype, std::vector<message2::entity> parts) {
    message2::entity multipart;
    multipart.body.content_type = "multipart/" + subtype;
    multipart.boundary = make_boundary();
    multipart.children = std::move(parts);
    return multipart;
}

// Mailboxes from options given as "Name <addr>, Other <addr>"; option names
// the option in errors.
header_type::addresses_value_type read_addresses(const std::vector<std::string>& entries, const std::string& option) {
    header_type::addresses_value_type all("utf-8");
    const std::string not_ascii = option + " addresses must be ASCII without control characters";
    // Read as header text whose undecorated bytes are UTF-8, so that
    // "Name <addr>, Other <addr>" gives two mailboxes.
    for (const std::string& entry : entries) {
        from_utf8(entry, option);
        header_type::addresses_value_type one("utf-8");
        // An address in angle brackets is kept as single bytes, so one
        // beyond U+00FF cannot be stored at all.
        try {
            one.parse(entry);
        } catch (const unicode::unmappable_character&) {
            throw corvid::exception(not_ascii);
        }
        if (one.addresses.empty()) throw corvid::exception(option + " holds no address: " + entry);
        // Addresses are written as they stand: a line break in one, typed
        // or decoded from an encoded word, would start a header line of
        // its own, and other non-ASCII bytes would not be the UTF-8 given.
        for (const auto& mailbox : one.addresses)
            if (std::any_of(mailbox.address.begin(), mailbox.address.end(),
                            [](unsigned char c) { return c < ' ' || c >= 127; }))
                throw corvid::exception(not_ascii);
        all.addresses.insert(all.addresses.end(), one.addresses.begin(), one.addresses.end());
    }
    return all;
}

// The body: the text, the HTML or both as alternatives, the HTML with its
// inline files around it, and the attachments after all that.
message2::entity compose_body(const compose_options& options) {
    std::vector<message2::entity> mixed;
    std::optional<message2::entity> text;
    if (!options.text_file.empty()) fill_text(text.emplace(), options.text_file, "text/plain", options);
    if (!options.html_file.empty()) {
        message2::entity html;
        fill_text(html, options.html_file, "text/html", options);
        if (!options.inline_files.empty()) {
            // The HTML and the files it shows as one whole (RFC 2387).
            std::vector<message2::entity> related{std::move(html)};
            for (const std::string& path : options.inline_files) related.push_back(make_inline(path));
            html = make_multipart("related", std::move(related));
        }
        if (text) {
            std::vector<message2::entity> alternatives;
            alternatives.push_back(std::move(*text));
            alternatives.push_back(std::move(html));
            mixed.push_back(make_multipart("alternative", std::move(alternatives)));
        } else {
            mixed.push_back(std::move(html));
        }
    } else {
        if (text) mixed.push_back(std::move(*text));
        // Without HTML to place them, inline files are shown where they stand.
        for (const std::string& path : options.inline_files) mixed.push_back(make_inline(path));
    }
    for (const std::string& path : options.attachments) mixed.push_back(make_file_part(path, u"attachment"));
    if (mixed.empty()) return message2::entity();
    // A single body is the message itself, without a multipart around it;
    // a file always goes in one, so that it keeps its own headers.
    const bool files_alone = !options.inline_files.empty() && options.html_file.empty();
    if (mixed.size() == 1 && options.attachments.empty() && !files_alone) return std::move(mixed.front());
    return make_multipart("mixed", std::move(mixed));
}

// The message; sender_missing tells whether it has no From field.
message2::entity compose(const compose_options& options, bool& sender_missing) {
    const std::string& encoding = options.encoding;
    if (!encoding.empty() && encoding != "base64" && encoding != "quoted-printable" && encoding != "7bit")
        throw corvid::exception("--encoding must be base64, quoted-printable or 7bit, not " + encoding);
    message2::entity message = compose_body(options);

    // What --header gives stands; the fields every message needs are added
    // only where it gives none.
    const auto given = [&options](std::string_view name) {
        return std::any_of(options.headers.begin(), options.headers.end(), [name](const std::string& header) {
            return corvid::iequals(raw_header_name(header), name);
        });
    };
    std::string domain = "localhost";
    if (!options.from.empty()) {
        const header_type::addresses_value_type from = read_addresses({options.from}, "--from");
        const std::string& address = from.addresses.front().address;
        if (const std::size_t at = address.rfind('@'); at != std::string::npos && at + 1 < address.size())
            domain = address.substr(at + 1);
        message.add_header("From", from);
    } else {
        sender_missing = !given("From");
    }
    if (!options.to.empty()) message.add_header("To", read_addresses(options.to, "--to"));
    if (!options.subject.empty()) {
        header_type::unstructured_value_type subject("utf-8");
        subject.set_text(from_utf8(options.subject, "--subject"));
        message.add_header("Subject", subject);
    }
    if (!given("Date")) message.add_header("Date", corvid::rfc822_local_date(std::time(nullptr)));
    if (!given("Message-ID")) message.add_header("Message-ID", message2::make_message_id(domain));
    if (!given("MIME-Version")) message.add_header("MIME-Version", "1.0");
    for (const std::string& header : options.headers) add_raw_header(message, header);
    return message;
}

}  // namespace

void add_mime_command(CLI::App& app) {
    auto* mime = app.add_subcommand("mime", "Build and read MIME messages");
    mime->require_subcommand(1);

    auto options = std::make_shared<compose_options>();
    auto* cmd = mime->add_subcommand(
        "compose", "Build one message and write it with CR LF line ends; Date, Message-ID and MIME-Version are "
                   "added unless --header gives them");
    cmd->add_option("--header", options->headers, "A raw header \"Name: value\" (repeatable, kept in order)");
    cmd->add_option("--subject", options->subject, "Subject text (UTF-8)");
    cmd->add_option("--from", options->from,
                    "Sender \"Name <addr>\" (a warning when neither this nor --header gives one)");
    cmd->add_option("--to", options->to, "Recipient \"Name <addr>\" (repeatable)");
    cmd->add_option("--text", options->text_file, "File with the body text in UTF-8 (- for standard input)");
    cmd->add_option("--charset", options->charset, "Charset the text is stored in")->capture_default_str();
    cmd->add_option("--encoding", options->encoding,
                    "Transfer encoding of the text: base64, quoted-printable or 7bit "
                    "(default: 7bit for plain ASCII, else base64)");
    cmd->add_option("--html", options->html_file,
                    "File with an HTML body in UTF-8; with --text the two are alternatives");
    cmd->add_option("--attach", options->attachments,
                    "File to attach in base64, its media type from /etc/mime.types (repeatable)");
    cmd->add_option("--inline", options->inline_files,
                    "Image shown in the HTML, which refers to it as cid:NAME, NAME being the file's name (repeatable)");
    cmd->callback([options] {
        bool sender_missing = false;
        std::string text;
        corvid::line_writer(compose(*options, sender_missing).write()).take_text(text);
        write_output(text);
        // Still a message, but one that servers refuse to take for delivery.
        if (sender_missing)
            std::fputs("corvid mime compose: warning: no --from, and mail servers refuse a message without a "
                       "From field\n",
                       stderr);
    });
    add_mime_read_commands(*mime);
}

}  // namespace corvid_tool
