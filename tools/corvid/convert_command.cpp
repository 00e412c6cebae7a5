#include "commands.h"
#include "io.h"

#include <corvid/unicode/charset.h>
#include <corvid/unicode/convert.h>

#include <memory>
#include <string>

namespace corvid_tool {

namespace {

struct convert_options {
    std::string from;
    std::string to;
    std::string file;
};

}  // namespace

void add_convert_command(CLI::App& app) {
    auto options = std::make_shared<convert_options>();
    auto* cmd = app.add_subcommand("convert", "Convert text from one charset to another");
    cmd->add_option("--from", options->from, "Charset of the input")->required();
    cmd->add_option("--to", options->to, "Charset of the output")->required();
    cmd->add_option("FILE", options->file, "Input file (default: standard input)");
    cmd->callback([options] {
        using namespace corvid::unicode;
        const std::string input = read_input(options->file);
        // Convert everything before writing anything, so that a failure
        // leaves standard output empty.
        const std::u16string wide = to_wide(input, codepage_from_charset(options->from));
        write_output(to_narrow(wide, codepage_from_charset(options->to)));
    });
}

}  // namespace corvid_tool
