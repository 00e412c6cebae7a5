// corvid: the library's mail tools on the command line.

#include "commands.h"

#include <cstdio>
#include <string>
#include <exception>

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
    } catch (const CLI::ParseError& e) {
        return app.exit(e);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "corvid: %s\n", e.what());
        return 1;
    }
    return 0;
}
