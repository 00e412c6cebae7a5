// SPDX-License-Identifier: MIT
#include "commands.h"
#include "io.h"

#include <corvid/coding/stream.h>

#include <memory>
#include <string>

namespace corvid_tool {

void add_decode_command(CLI::App& app) {
    struct options {
        corvid::coding::codec codec{};
        std::string file;
        bool strict = false;
    };
    auto opts = std::make_shared<options>();
    auto* cmd = app.add_subcommand("decode", "Decode FILE or standard input with a byte codec");
    cmd->add_option("CODEC", opts->codec, "hex, base64, uu, qp or url")
        ->required()
        ->transform(CLI::CheckedTransformer(codec_names()));
    cmd->add_option("FILE", opts->file, "Input file (default: standard input)");
    cmd->add_flag("--strict", opts->strict, "Fail on the first invalid byte instead of skipping it");
    cmd->callback([opts] {
        corvid::coding::stream_decoder decoder(opts->codec, opts->strict);
        std::string name;
        for (const auto& [word, codec] : codec_names())
            if (codec == opts->codec) name = word;
        failing_as("cannot decode " + name, [&] {
            pass_through(
                opts->file, [&](std::string_view piece, std::string& out) { decoder.step(piece, out); },
                [&](std::string& out) { decoder.finish(out); });
        });
    });
}

}  // namespace corvid_tool
