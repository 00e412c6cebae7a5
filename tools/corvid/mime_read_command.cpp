// SPDX-License-Identifier: MIT
// corvid mime tree | rewrite | extract: reading messages from files.

#include "commands.h"
#include "io.h"

#include <corvid/coding/md5.h>
#include <corvid/exception.h>
#include <corvid/format.h>
#include <corvid/internet/message2/entity.h>
#include <corvid/platform/file.h>
#include <corvid/unicode/convert.h>

#include <map>
#include <memory>
#include <string>

namespace corvid_tool {

namespace {

namespace message2 = corvid::internet::message2;
namespace platform = corvid::platform;

// A value as one line of the tree: a CR or LF decoded from an encoded word
// must not start a line of its own, so control bytes and the backslash are
// escaped (\r, \n, \t, \\, \xNN).
std::string escaped(const std::string& value) {
    std::string out;
    for (const char c : value) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\\') out += "\\\\";
        else if (c == '\r') out += "\\r";
        else if (c == '\n') out += "\\n";
        else if (c == '\t') out += "\\t";
        else if (byte < 0x20 || byte == 0x7F) out += corvid::format("\\x%02X", static_cast<unsigned>(byte));
        else out += c;
    }
    return out;
}

// The decoded file name of a part in UTF-8, or "" when it gives none or one
// that cannot be decoded.
std::string file_name_of(const message2::entity& part) {
    try {
        return corvid::unicode::to_narrow(part.attachment().file_name, corvid::unicode::utf8_codepage);
    } catch (const corvid::exception&) {
        return {};
    }
}

// One block per entity in pre-order; scripts read this format, keep it.
// With names, a part that names a file gets " name=" and the name at the
// end of its first line.
void print_tree(const message2::entity& part, unsigned depth, bool names, std::string& out) {
    out += std::to_string(depth) + ' ' + escaped(part.body.content_type) + " charset=" +
           escaped(part.body.charset) + " boundary=" + escaped(part.boundary) +
           " data=" + std::to_string(part.body.data.size()) +
           " md5=" + corvid::coding::md5(part.body.data).hex_digest();
    if (const std::string name = names ? file_name_of(part) : std::string(); !name.empty())
        out += " name=" + escaped(name);
    out += '\n';
    for (const auto& header : part.headers) out += "  " + escaped(header.name) + ": " + escaped(header.value) + '\n';
    for (const auto& child : part.children) print_tree(child, depth + 1, names, out);
}

std::string extension_of(const std::string& content_type) {
    static const std::pair<const char*, const char*> table[] = {
        {"text/plain", "txt"}, {"text/html", "html"}, {"image/jpeg", "jpg"},      {"image/gif", "gif"},
        {"image/png", "png"},  {"message/rfc822", "eml"}, {"application/pdf", "pdf"},
    };
    for (const auto& [type, extension] : table)
        if (content_type == type) return extension;
    return content_type.rfind("text/", 0) == 0 ? "txt" : "bin";
}

// Characters that would act on a terminal or turn the name around when it
// is printed: C0 and C1 controls, DEL and the bidirectional marks.
bool unprintable(char16_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x061C || c == 0x200E || c == 0x200F ||
           (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

// A name that stays inside the folder and is not hidden: the last path
// component only, unprintable characters replaced, no "..", no leading dot;
// at most 200 bytes, cut at a UTF-8 character boundary.
std::string safe_file_name(std::u16string wide) {
    for (char16_t& c : wide)
        if (unprintable(c)) c = u'_';
    std::string full = corvid::unicode::to_narrow(wide, corvid::unicode::utf8_codepage);
    const std::size_t separator = full.find_last_of("/\\");
    if (separator != std::string::npos) full.erase(0, separator + 1);
    std::string name;
    for (const char c : full)
        if (!(c == '.' && !name.empty() && name.back() == '.')) name += c;
    name.erase(0, name.find_first_not_of(". "));
    if (name.size() > 200) {
        std::size_t cut = 200;
        while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
        name.resize(cut);
    }
    return name;
}

// Writes data to a hidden temporary file in folder and returns its path;
// nothing is left behind when that fails.
std::string write_temporary(const std::string& folder, const std::string& data) {
    std::string path;
    std::error_code ec;
    platform::unique_file file = platform::create_unique(folder + "/.corvid-part-", path, ec, 0644);
    if (ec) throw corvid::exception("cannot create a file in " + folder + ": " + ec.message());
    platform::write_all(file, data, ec);
    if (!ec) file.close(ec);
    if (ec) {
        std::error_code ignored;
        platform::remove_file(path, ignored);
        throw corvid::exception("cannot write a file in " + folder + ": " + ec.message());
    }
    return path;
}

// Puts data under DIR/name, or DIR/stem-2.ext, -3 and so on when that
// exists; never replaces an existing file, and a name appears only once its
// content is complete. next remembers the next number to try per name, so
// that many parts of one name cost no more than many names.
std::string create_file(const std::string& folder, const std::string& name, const std::string& data,
                        std::map<std::string, unsigned>& next) {
    const std::size_t dot = name.rfind('.');
    const std::string stem = dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
    const std::string extension = stem.size() == name.size() ? std::string() : name.substr(dot);
    const std::string temporary = write_temporary(folder, data);
    std::error_code ec, ignored;
    unsigned& number = next.try_emplace(name, 1).first->second;
    for (; number < 100000; ++number) {
        const std::string path =
            folder + '/' + (number == 1 ? name : stem + '-' + std::to_string(number) + extension);
        // A link fails rather than replace a file that is there.
        platform::link_file(temporary, path, ec);
        if (ec == std::errc::file_exists) continue;
        platform::remove_file(temporary, ignored);
        if (ec) throw corvid::exception("cannot create " + path + ": " + ec.message());
        ++number;
        return path;
    }
    platform::remove_file(temporary, ignored);
    throw corvid::exception("too many files called " + name + " in " + folder);
}

struct extraction {
    std::string folder;
    unsigned leaves = 0;
    std::map<std::string, unsigned> next;
    std::string report;
};

void extract(const message2::entity& part, extraction& run) {
    if (!part.children.empty()) {
        for (const auto& child : part.children) extract(child, run);
        return;
    }
    // A multipart without parts holds no content; one without delimiter
    // lines keeps its text, which is extracted.
    if (part.body.content_type.starts_with("multipart/") && part.body.data.empty()) return;
    ++run.leaves;
    std::string name;
    try {
        name = safe_file_name(part.attachment().file_name);
    } catch (const corvid::exception&) {
        // A name that cannot be decoded is no name to write under.
    }
    if (name.empty()) name = "part-" + std::to_string(run.leaves) + '.' + extension_of(part.body.content_type);
    run.report += create_file(run.folder, name, part.body.data, run.next) + '\n';
}

message2::entity load(const std::string& file) {
    return failing_as("cannot read the message in " + file, [&] { return message2::entity::load(file); });
}

struct read_options {
    std::string file;
    std::string out;
    bool names = false;
};

}  // namespace

void add_mime_read_commands(CLI::App& mime_app) {
    CLI::App* mime = &mime_app;

    auto options = std::make_shared<read_options>();
    auto* tree = mime->add_subcommand("tree", "Print the entity tree of a message, one block per entity");
    tree->add_option("FILE", options->file, "Message file")->required();
    tree->add_flag("--names", options->names, "Add the decoded file name of each part that gives one");
    tree->callback([options] {
        std::string out;
        print_tree(load(options->file), 0, options->names, out);
        write_output(out);
    });

    auto* rewrite = mime->add_subcommand("rewrite", "Read a message and write it again");
    rewrite->add_option("FILE", options->file, "Message file")->required();
    rewrite->add_option("OUT", options->out, "Output file (default: standard output)");
    rewrite->callback([options] {
        const message2::entity message = load(options->file);
        if (options->out.empty()) {
            write_output(message.write_text());
        } else {
            failing_as("cannot write " + options->out, [&] { message.save(options->out); });
        }
    });

    auto* extract_command = mime->add_subcommand("extract", "Write the content of every leaf part into a folder");
    extract_command->add_option("FILE", options->file, "Message file")->required();
    extract_command->add_option("DIR", options->out, "Folder for the parts (created when missing)")->required();
    extract_command->callback([options] {
        const message2::entity message = load(options->file);
        std::error_code ec;
        corvid::platform::make_folder(options->out, 0755, ec);
        if (ec) throw corvid::exception("cannot create " + options->out + ": " + ec.message());
        extraction run{options->out, 0, {}, {}};
        extract(message, run);
        write_output(run.report);
    });
}

}  // namespace corvid_tool
