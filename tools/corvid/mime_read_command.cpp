// corvid mime tree | rewrite | extract: reading messages from files.

#include "commands.h"
#include "io.h"

#include <corvid/coding/md5.h>
#include <corvid/exception.h>
#include <corvid/internet/message2/entity.h>
#include <corvid/unicode/convert.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace corvid_tool {

namespace {

namespace message2 = corvid::internet::message2;


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
    out += std::to_string(depth) + ' ' + part.body.content_type + " charset=" + part.body.charset +
           " boundary=" + part.boundary + " data=" + std::to_string(part.body.data.size()) +
           " md5=" + corvid::coding::md5(part.body.data).hex_digest();
    if (const std::string name = names ? file_name_of(part) : std::string(); !name.empty()) out += " name=" + name;
    out += '\n';
    for (const auto& header : part.headers) out += "  " + header.name + ": " + header.value + '\n';
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

// A name that stays inside the folder and is not hidden: the last path
// component only, no control characters, no "..", no leading dot; at most
// 200 bytes, cut at a UTF-8 character boundary.
std::string safe_file_name(const std::u16string& wide) {
    std::string full = corvid::unicode::to_narrow(wide, corvid::unicode::utf8_codepage);
    const std::size_t separator = full.find_last_of("/\\");
    if (separator != std::string::npos) full.erase(0, separator + 1);
    std::string name;
    for (const char c : full) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F)
            name += '_';
        else if (!(c == '.' && !name.empty() && name.back() == '.'))
            name += c;
    }
    name.erase(0, name.find_first_not_of(". "));
    if (name.size() > 200) {
        std::size_t cut = 200;
        while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
        name.resize(cut);
    }
    return name;
}

// Creates DIR/name, or DIR/stem-2.ext, -3 and so on when that exists; never
// opens an existing file.
std::string create_file(const std::string& folder, const std::string& name, const std::string& data) {
    const std::size_t dot = name.rfind('.');
    const std::string stem = dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
    const std::string extension = stem.size() == name.size() ? std::string() : name.substr(dot);
    for (unsigned number = 1; number < 100000; ++number) {
        const std::string path =
            folder + '/' + (number == 1 ? name : stem + '-' + std::to_string(number) + extension);
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            throw corvid::exception("cannot create " + path + ": " + std::strerror(errno));
        }
        std::size_t written = 0;
        while (written < data.size()) {
            const ssize_t n = ::write(fd, data.data() + written, data.size() - written);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                const int error = errno;
                ::close(fd);
                throw corvid::exception("cannot write " + path + ": " + std::strerror(error));
            }
            written += static_cast<std::size_t>(n);
        }
        if (::close(fd) != 0) throw corvid::exception("cannot write " + path + ": " + std::strerror(errno));
        return path;
    }
    throw corvid::exception("too many files called " + name + " in " + folder);
}

void extract(const message2::entity& part, const std::string& folder, unsigned& leaves, std::string& report) {
    if (!part.children.empty()) {
        for (const auto& child : part.children) extract(child, folder, leaves, report);
        return;
    }
    ++leaves;
    std::string name;
    try {
        name = safe_file_name(part.attachment().file_name);
    } catch (const corvid::exception&) {
        // A name that cannot be decoded is no name to write under.
    }
    if (name.empty()) name = "part-" + std::to_string(leaves) + '.' + extension_of(part.body.content_type);
    report += create_file(folder, name, part.body.data) + '\n';
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
        print_tree(message2::entity::load(options->file), 0, options->names, out);
        write_output(out);
    });

    auto* rewrite = mime->add_subcommand("rewrite", "Read a message and write it again");
    rewrite->add_option("FILE", options->file, "Message file")->required();
    rewrite->add_option("OUT", options->out, "Output file (default: standard output)");
    rewrite->callback([options] {
        const message2::entity message = message2::entity::load(options->file);
        if (options->out.empty()) {
            write_output(message.write_text());
        } else {
            message.save(options->out);
        }
    });

    auto* extract_command = mime->add_subcommand("extract", "Write the content of every leaf part into a folder");
    extract_command->add_option("FILE", options->file, "Message file")->required();
    extract_command->add_option("DIR", options->out, "Folder for the parts (created when missing)")->required();
    extract_command->callback([options] {
        const message2::entity message = message2::entity::load(options->file);
        if (::mkdir(options->out.c_str(), 0755) != 0 && errno != EEXIST)
            throw corvid::exception("cannot create " + options->out + ": " + std::strerror(errno));
        unsigned leaves = 0;
        std::string report;
        extract(message, options->out, leaves, report);
        write_output(report);
    });
}

}  // namespace corvid_tool
