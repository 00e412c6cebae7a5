// SPDX-License-Identifier: MIT
#include "commands.h"
#include "io.h"

#include <corvid/coding/stream.h>

#include <climits>
#include <map>
#include <memory>
#include <string>

namespace corvid_tool {

const std::map<std::string, corvid::coding::codec>& codec_names() {
    using corvid::coding::codec;
    static const std::map<std::string, codec> names{{"hex", codec::hex},
                                                   {"base64", codec::base64},
                                                   {"uu", codec::uu},
                                                   {"qp", codec::quoted_printable},
                                                   {"url", codec::url}};
    return names;
}

void add_encode_command(CLI::App& app) {
    struct options {
        corvid::coding::codec codec{};
        std::string file;
        int wrap = 0;
    };
    auto opts = std::make_shared<options>();
    auto* cmd = app.add_subcommand("encode", "Encode FILE or standard input with a byte codec");
    cmd->add_option("CODEC", opts->codec, "hex, base64 (padded), uu, qp or url")
        ->required()
        ->transform(CLI::CheckedTransformer(codec_names()));
    cmd->add_option("FILE", opts->file, "Input file (default: standard input)");
    cmd->add_option("--wrap", opts->wrap, "Cut the output into lines of N characters (0: one piece, no line end)")
        ->check(CLI::Range(0, INT_MAX));
    cmd->callback([opts] {
        corvid::coding::stream_encoder encoder(opts->codec, static_cast<std::size_t>(opts->wrap));
        pass_through(
            opts->file, [&](std::string_view piece, std::string& out) { encoder.step(piece, out); },
            [&](std::string& out) { encoder.finish(out); });
    });
}

}  // namespace corvid_tool
