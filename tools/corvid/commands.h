// SPDX-License-Identifier: MIT
#ifndef CORVID_TOOLS_COMMANDS_H
#define CORVID_TOOLS_COMMANDS_H

#include <CLI/CLI.hpp>

#include <corvid/coding/stream.h>

#include <map>
#include <string>

// Each subcommand registers itself on the application. Its callback does
// the work and may throw; main() turns any exception into one line on
// stderr and exit status 1.
namespace corvid_tool {

void add_date_command(CLI::App& app);
void add_charset_command(CLI::App& app);
void add_convert_command(CLI::App& app);
void add_resolve_command(CLI::App& app);
void add_encode_command(CLI::App& app);
void add_decode_command(CLI::App& app);
void add_md5_command(CLI::App& app);
// The codec names that encode and decode take.
const std::map<std::string, corvid::coding::codec>& codec_names();
// "mime" with compose, and the reading commands below it.
void add_mime_command(CLI::App& app);
// Adds tree, rewrite and extract to the "mime" subcommand.
void add_mime_read_commands(CLI::App& mime);
void add_send_command(CLI::App& app);
// "smtp" with serve below it.
void add_smtp_command(CLI::App& app);

}  // namespace corvid_tool

#endif
