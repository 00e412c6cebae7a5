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

std::string decode(const std::string& codec, const std::string& text, bool strict) {
    namespace cc = corvid::coding;
    if (codec == "hex") return cc::hex_decode(text, strict);
    if (codec == "base64") return cc::base64_decode(text, strict);
    if (codec == "uu") return cc::uu_decode(text, strict);
    std::string bytes;
    if (codec == "qp")
        cc::quoted_printable_decode(text, bytes, strict);
    else
        cc::url_decode(text, bytes, strict);
    return bytes;
}

}  // namespace

void add_decode_command(CLI::App& app) {
    struct options {
        std::string codec, file;
        bool strict = false;
    };
    auto opts = std::make_shared<options>();
    auto* cmd = app.add_subcommand("decode", "Decode FILE or standard input with a byte codec");
    cmd->add_option("CODEC", opts->codec, "hex, base64, uu, qp or url")->required()->check(CLI::IsMember({"hex", "base64", "uu", "qp", "url"}));
    cmd->add_option("FILE", opts->file, "Input file (default: standard input)");
    cmd->add_flag("--strict", opts->strict, "Fail on the first invalid byte instead of skipping it");
    cmd->callback([opts] { write_output(decode(opts->codec, read_input(opts->file), opts->strict)); });
}

}  // namespace corvid_tool
