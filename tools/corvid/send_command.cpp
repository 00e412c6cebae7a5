#include "commands.h"
#include "dialogue_stream.h"
#include "io.h"

#include <corvid/exception.h>
#include <corvid/internet/address/ip4.h>
#include <corvid/internet/environment/environment.h>
#include <corvid/internet/environment/startup.h>
#include <corvid/internet/smtp/agent.h>
#include <corvid/line_reader.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace corvid_tool {

namespace {

namespace address = corvid::internet::address;
namespace environment = corvid::internet::environment;
namespace smtp = corvid::internet::smtp;
using stage = dialogue_stream::stage;

struct send_options {
    std::string server;
    int port = 25;
    std::string to;
    std::string from;
    std::string helo;
    int timeout = 30;
    std::string user;
    std::string password_file;
    bool trace = false;
    std::string file;
};

// The one line a failed delivery prints, after "corvid send: ".
class failed : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The library's own errors keep their dotted name; the tool's plain ones
// (an unreadable file) read better as the message alone.
std::string text_of(const corvid::exception& e) { return *e.name() ? e.what() : e.message(); }

// One message line per line of the file. A final line end closes the last
// line rather than opening an empty one, so a file as compose writes it
// goes out as it was composed.
std::vector<std::string> message_lines(const std::string& text) {
    corvid::line_reader reader(text);
    reader.finish();
    std::vector<std::string> lines;
    reader.get_lines(lines);
    if (text.back() == '\r' || text.back() == '\n') lines.pop_back();
    return lines;
}

std::string first_line(const std::string& text) { return text.substr(0, text.find_first_of("\r\n")); }

// What went wrong in the session, from the step the dialogue had reached.
std::string describe(const dialogue_stream& stream, const corvid::exception& e) {
    const std::string& verb = stream.last_command();
    // The server's own verdict carries its reply line; anything else (a lost
    // connection, a time-out, a malformed reply) failed on the way.
    const bool refused = (dynamic_cast<const smtp::temporary_failure*>(&e) != nullptr ||
                          dynamic_cast<const smtp::permanent_failure*>(&e) != nullptr) &&
                         stream.last_reply() == e.message();
    switch (stream.where()) {
        case stage::greeting: return (refused ? "session refused: " : "greeting failed: ") + text_of(e);
        case stage::message_text: return "sending the message failed: " + text_of(e);
        case stage::end_of_data: return (refused ? "message refused: " : "message failed: ") + text_of(e);
        default: return verb + (refused ? " refused: " : " failed: ") + text_of(e);
    }
}

void deliver(const send_options& options) {
    const std::string text = read_input(options.file);
    if (text.empty()) throw failed("no message in " + (options.file.empty() ? "standard input" : options.file));
    const std::vector<std::string> lines = message_lines(text);
    std::string password;
    if (!options.user.empty()) password = first_line(read_input(options.password_file));

    environment::startup network;
    const smtp::agent agent(options.helo.empty() ? environment::host_name() : options.helo);
    address::ip4 endpoint;
    try {
        endpoint = address::ip4(options.server, static_cast<std::uint16_t>(options.port));
    } catch (const corvid::exception& e) {
        throw failed("cannot resolve " + options.server + ": " + text_of(e));
    }
    const std::string where = endpoint.to_string(address::numeric_host) + ":" + std::to_string(options.port);
    const int milliseconds = options.timeout * 1000;

    std::string failure;
    bool accepted = false;
    {
        dialogue_stream stream(options.trace);
        try {
            stream.open(endpoint);
            stream.connect(endpoint, milliseconds);
            stream.set_receive_timeout(milliseconds);
        } catch (const corvid::exception& e) {
            throw failed("cannot connect to " + where + ": " + text_of(e));
        }
        // The steps of agent::send, with a login between hello and the
        // transaction when one is asked for.
        try {
            smtp::reply_texts texts;
            agent.hello(stream, texts);
            if (!options.user.empty() && !agent.authenticate(stream, options.user, password, texts))
                throw failed(stream.tried_login()
                                 ? "login as " + options.user + " refused: " + stream.last_reply()
                                 : "login as " + options.user +
                                       " impossible: the server offers none of CRAM-MD5, PLAIN, LOGIN");
            agent.transact(stream, options.to, options.from, lines);
        } catch (const corvid::exception& e) {
            // Past the end marker the server has taken the message; a
            // failing QUIT does not undo that.
            accepted = stream.where() == stage::quit;
            failure = describe(stream, e);
        }
    }
    if (accepted) {
        std::fprintf(stderr, "corvid send: message accepted, but %s\n", printable(failure).c_str());
        return;
    }
    if (!failure.empty()) throw failed(failure);
}

// Addresses and names go into command lines as they stand: a control
// character would end the line early or hide in it, a bracket would break
// the angle-bracket path.
const CLI::Validator command_text(
    [](const std::string& value) -> std::string {
        for (const char c : value) {
            const auto byte = static_cast<unsigned char>(c);
            if (byte < 0x20 || byte == 0x7f || c == '<' || c == '>')
                return "may not hold control characters or angle brackets";
        }
        return {};
    },
    "", "command text");

}  // namespace

void add_send_command(CLI::App& app) {
    auto options = std::make_shared<send_options>();
    auto* cmd = app.add_subcommand("send", "Deliver one message from FILE (or standard input) to an SMTP server");
    cmd->add_option("--server", options->server, "Mail server: host name or numeric address")->required();
    cmd->add_option("--port", options->port, "TCP port")->capture_default_str()->check(CLI::Range(1, 65535));
    cmd->add_option("--to", options->to, "Recipient address, without angle brackets")
        ->required()
        ->check(command_text);
    cmd->add_option("--from", options->from, "Sender address (default: empty, as for a bounce)")->check(command_text);
    cmd->add_option("--helo", options->helo, "Own name for EHLO (default: this host's name)")->check(command_text);
    cmd->add_option("--timeout", options->timeout, "Seconds to wait for the connection and each reply")
        ->capture_default_str()
        ->check(CLI::Range(1, 86400));
    auto* password =
        cmd->add_option("--password-file", options->password_file, "File whose first line is the password");
    auto* user = cmd->add_option("--user", options->user, "Log in with AUTH under this name")->check(command_text);
    user->needs(password);
    password->needs(user);
    cmd->add_flag("--trace", options->trace, "Show the dialogue on stderr (message lines counted, secrets hidden)");
    cmd->add_option("FILE", options->file, "Message file with CR LF or LF line ends; - or none reads standard input");
    cmd->callback([options] {
        try {
            deliver(*options);
        } catch (const failed& e) {
            // Peer and user text may be in it: kept to one plain line.
            std::fprintf(stderr, "corvid send: %s\n", printable(e.what()).c_str());
            throw CLI::RuntimeError(1);
        } catch (const corvid::exception& e) {
            std::fprintf(stderr, "corvid send: %s\n", printable(text_of(e)).c_str());
            throw CLI::RuntimeError(1);
        }
    });
}

}  // namespace corvid_tool
