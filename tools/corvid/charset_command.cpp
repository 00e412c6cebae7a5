// SPDX-License-Identifier: MIT
#include "commands.h"
#include "io.h"

#include <corvid/unicode/charset.h>

#include <memory>
#include <string>
#include <vector>

namespace corvid_tool {

void add_charset_command(CLI::App& app) {
    auto names = std::make_shared<std::vector<std::string>>();
    auto* cmd = app.add_subcommand("charset", "Print the code page of each charset name (-1 when unknown)");
    cmd->add_option("NAME", *names, "Charset names, e.g. UTF-8 or iso-8859-15")->required();
    cmd->callback([names] {
        std::string out;
        for (const std::string& name : *names)
            out += name + "\t" + std::to_string(corvid::unicode::codepage_from_charset(name)) + "\n";
        write_output(out);
    });
}

}  // namespace corvid_tool
