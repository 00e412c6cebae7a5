// SPDX-License-Identifier: MIT
#include "commands.h"
#include "io.h"

#include <corvid/exception.h>
#include <corvid/unicode/charset.h>
#include <corvid/unicode/convert.h>
#include <corvid/unicode/transcoder.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <memory>
#include <string>

namespace corvid_tool {

namespace {

struct convert_options {
    std::string from;
    std::string to;
    std::string file;
    bool byte_mapping = false;
};

// Names people type that the MIME charset table leaves out, compared in
// upper case.
const std::map<std::string, int> tool_names{
    {"UTF-16", 1200}, {"UTF-16LE", 1200}, {"UCS-2", 1200},   {"UTF-16BE", 1201},
    {"UTF-32", 12000}, {"UTF-32LE", 12000}, {"UTF-32BE", 12001}, {"US-ASCII", 20127}, {"ASCII", 20127},
};

// The code page of a charset name. A name the library does not know would
// become the byte mapping and quietly garble text, so it takes asking.
int codepage_of(const std::string& name, bool byte_mapping) {
    std::string upper = name;
    std::transform(upper.begin(), upper.end(), upper.begin(), [](unsigned char c) { return std::toupper(c); });
    if (auto it = tool_names.find(upper); it != tool_names.end()) return it->second;
    const int codepage = corvid::unicode::codepage_from_charset(name);
    if (codepage == corvid::unicode::no_codepage && !byte_mapping)
        throw corvid::exception("unknown charset \"" + name + "\" (--byte-mapping takes it byte for byte)");
    return codepage;
}

}  // namespace

void add_convert_command(CLI::App& app) {
    auto options = std::make_shared<convert_options>();
    auto* cmd = app.add_subcommand("convert", "Convert text from one charset to another");
    cmd->add_option("--from", options->from, "Charset of the input")->required();
    cmd->add_option("--to", options->to, "Charset of the output")->required();
    cmd->add_option("FILE", options->file, "Input file (default: standard input)");
    cmd->add_flag("--byte-mapping", options->byte_mapping,
                  "Take an unknown charset byte for byte (each byte the character U+0000-U+00FF of its value)");
    cmd->callback([options] {
        corvid::unicode::transcoder transcoder(codepage_of(options->from, options->byte_mapping),
                                               codepage_of(options->to, options->byte_mapping));
        failing_as("cannot convert " + options->from + " to " + options->to, [&] {
            pass_through(
                options->file, [&](std::string_view piece, std::string& out) { transcoder.step(piece, out); },
                [&](std::string& out) { transcoder.finish(out); });
        });
    });
}

}  // namespace corvid_tool
