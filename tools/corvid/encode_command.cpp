#include "commands.h"
#include "io.h"

#include <corvid/coding/base64.h>
#include <corvid/coding/hex.h>
#include <corvid/coding/quoted_printable.h>
#include <corvid/coding/url.h>
#include <corvid/coding/uu.h>

#include <memory>
#include <string>

namespace corvid_tool {

namespace {

std::string encode(const std::string& codec, const std::string& bytes) {
    namespace cc = corvid::coding;
    if (codec == "hex") return cc::hex_encode(bytes);
    if (codec == "base64") return cc::base64_encode(bytes, true);
    if (codec == "uu") return cc::uu_encode(bytes);
    if (codec == "qp") return cc::quoted_printable_encode(bytes);
    return cc::url_encode(bytes);
}

// Lines of at most width characters, each ended by a line feed.
std::string wrap_lines(const std::string& text, std::size_t width) {
    std::string lines;
    lines.reserve(text.size() + text.size() / width + 1);
    for (std::size_t i = 0; i < text.size(); i += width) lines.append(text, i, width).append(1, '\n');
    return lines;
}

}  // namespace

void add_encode_command(CLI::App& app) {
    struct options {
        std::string codec, file;
        std::size_t wrap = 0;
    };
    auto opts = std::make_shared<options>();
    auto* cmd = app.add_subcommand("encode", "Encode FILE or standard input with a byte codec");
    cmd->add_option("CODEC", opts->codec, "hex, base64 (padded), uu, qp or url")
        ->required()
        ->check(CLI::IsMember({"hex", "base64", "uu", "qp", "url"}));
    cmd->add_option("FILE", opts->file, "Input file (default: standard input)");
    cmd->add_option("--wrap", opts->wrap, "Cut the output into lines of N characters (0: one piece, no line end)");
    cmd->callback([opts] {
        const std::string text = encode(opts->codec, read_input(opts->file));
        write_output(opts->wrap == 0 ? text : wrap_lines(text, opts->wrap));
    });
}

}  // namespace corvid_tool
