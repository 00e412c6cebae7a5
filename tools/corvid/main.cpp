// SPDX-License-Identifier: MIT
// corvid: the library's mail tools on the command line.

#include "commands.h"

#include <corvid/exception.h>

#include <cstdio>
#include <string_view>
#include <sysexits.h>
#include <string>
#include <exception>

namespace {

// "corvid mime tree", the command line's words for the subcommand that ran.
std::string command_of(const CLI::App& app) {
    std::string words = app.get_name();
    for (const CLI::App* sub = &app; !sub->get_subcommands().empty();) {
        sub = sub->get_subcommands().front();
        words += " " + sub->get_name();
    }
    return words;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"corvid: Internet mail tools (MIME, codecs, charsets, SMTP)", "corvid"};
    app.set_version_flag("--version", "corvid " CORVID_VERSION);
    app.require_subcommand(1);
    // One line on stderr for every usage error, as for every other failure.
    app.failure_message([](const CLI::App*, const CLI::Error& e) {
        return std::string("corvid: ") + e.what() + " (see corvid --help)\n";
    });

    corvid_tool::add_date_command(app);
    corvid_tool::add_charset_command(app);
    corvid_tool::add_convert_command(app);
    corvid_tool::add_resolve_command(app);
    corvid_tool::add_encode_command(app);
    corvid_tool::add_decode_command(app);
    corvid_tool::add_md5_command(app);
    corvid_tool::add_mime_command(app);
    corvid_tool::add_send_command(app);
    corvid_tool::add_smtp_command(app);

    try {
        app.parse(argc, argv);
    } catch (const CLI::RuntimeError& e) {
        return app.exit(e);  // a subcommand's own failure, already told
    } catch (const CLI::ParseError& e) {
        const int status = app.exit(e);
        // corvid send stands in for sendmail, whose usage errors scripts
        // know by this status.
        return status != 0 && argc > 1 && std::string_view(argv[1]) == "send" ? EX_USAGE : status;
    } catch (const corvid::exception& e) {
        // The tool's own errors are plain words; the library's keep their name.
        const bool plain = *e.name() == '\0';
        std::fprintf(stderr, "%s: %s\n", command_of(app).c_str(), plain ? e.message() : e.what());
        return 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", command_of(app).c_str(), e.what());
        return 1;
    }
    return 0;
}
