// SPDX-License-Identifier: MIT
#include "commands.h"
#include "io.h"

#include <corvid/coding/md5.h>
#include <corvid/exception.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace corvid_tool {

namespace {

corvid::coding::md5 digest_of_stdin() {
    corvid::coding::md5 digest;
    char piece[65536];
    std::size_t got;
    while ((got = std::fread(piece, 1, sizeof piece, stdin)) > 0) digest.update(std::string_view(piece, got));
    if (std::ferror(stdin)) throw corvid::exception(std::string("cannot read standard input: ") + std::strerror(errno));
    return digest;
}

// md5sum's line: a name with a backslash or a line feed is escaped and the
// line then starts with a backslash.
std::string line_for(const std::string& hex, const std::string& name) {
    std::string escaped;
    for (char c : name) escaped += c == '\\' ? "\\\\" : c == '\n' ? "\\n" : std::string(1, c);
    return (escaped.size() != name.size() ? "\\" : "") + hex + "  " + escaped + "\n";
}

}  // namespace

void add_md5_command(CLI::App& app) {
    auto files = std::make_shared<std::vector<std::string>>();
    auto* cmd = app.add_subcommand("md5", "Print the MD5 digest of each FILE (or standard input) as md5sum does");
    cmd->add_option("FILE", *files, "Input files; - or none reads standard input");
    cmd->callback([files] {
        const std::vector<std::string> names = files->empty() ? std::vector<std::string>{"-"} : *files;
        for (const std::string& name : names) {
            const corvid::coding::md5 digest =
                name == "-" ? digest_of_stdin() : corvid::coding::md5(corvid::coding::from_file, name);
            write_output(line_for(digest.hex_digest(), name));
        }
    });
}

}  // namespace corvid_tool
