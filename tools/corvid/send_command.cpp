#include "commands.h"
#include "dialogue_stream.h"
#include "io.h"

#include <corvid/exception.h>
#include <corvid/internet/address/ip4.h>
#include <corvid/internet/environment/environment.h>
#include <corvid/internet/environment/startup.h>
#include <corvid/internet/smtp/agent.h>
#include <corvid/line_reader.h>

#include <corvid/internet/transport/tcp/tls.h>

#include <cstdint>
#include <cstdio>
#include <exception>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace corvid_tool {

namespace {

namespace address = corvid::internet::address;
namespace environment = corvid::internet::environment;
namespace smtp = corvid::internet::smtp;
namespace tcp = corvid::internet::transport::tcp;
using stage = dialogue_stream::stage;

enum class tls_mode { starttls, implicit, none };

struct send_options {
    std::string server;
    tls_mode tls = tls_mode::starttls;
    bool require_tls = false;
    std::string ca_file;
    bool insecure = false;
    bool allow_plaintext_auth = false;
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
    // A reply to QUIT comes wrapped as unreliable_delivery: the server's own
    // verdict is what to tell.
    if (const auto* nested = dynamic_cast<const std::nested_exception*>(&e);
        nested && nested->nested_ptr() && dynamic_cast<const smtp::unreliable_delivery*>(&e)) {
        try {
            nested->rethrow_nested();
        } catch (const smtp::generic& reply) {
            return describe(stream, reply);
        } catch (...) {
        }
    }
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
        // The steps of agent::send, with TLS before and a login between
        // hello and the transaction when they are asked for.
        try {
            std::unique_ptr<tcp::tls> secured;
            tcp::base* session = &stream;
            std::optional<tcp::tls_context> context;
            if (options.tls != tls_mode::none) context = tcp::tls_context::client(options.ca_file, !options.insecure);
            if (options.tls == tls_mode::implicit) {
                try {
                    secured = std::make_unique<tcp::tls>(stream, *context, options.server);
                } catch (const corvid::exception& e) {
                    throw failed("TLS with " + where + " failed: " + text_of(e));
                }
                session = secured.get();
                stream.note("TLS started: " + secured->description());
            }
            smtp::reply_texts texts;
            agent.hello(*session, texts);
            if (options.tls == tls_mode::starttls) {
                secured = agent.starttls(stream, *context, options.server, texts);
                if (secured) {
                    session = secured.get();
                    stream.note("TLS started: " + secured->description());
                } else if (options.require_tls) {
                    throw failed("the server offers no STARTTLS, and --require-tls is given");
                }
            }
            // A password in clear text can be read by anyone on the path.
            if (!options.user.empty() && !secured && !options.allow_plaintext_auth)
                throw failed("login as " + options.user +
                             " refused: the connection is not encrypted (--allow-plaintext-auth allows it)");
            if (!options.user.empty() && !agent.authenticate(*session, options.user, password, texts))
                throw failed(stream.tried_login()
                                 ? "login as " + options.user + " refused: " + stream.last_reply()
                                 : "login as " + options.user +
                                       " impossible: the server offers none of CRAM-MD5, PLAIN, LOGIN");
            agent.transact(*session, options.to, options.from, lines);
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
    const std::map<std::string, tls_mode> modes{
        {"starttls", tls_mode::starttls}, {"implicit", tls_mode::implicit}, {"none", tls_mode::none}};
    cmd->add_option("--tls", options->tls,
                    "starttls (when the server offers it; the default), implicit (TLS from the first byte, "
                    "port 465) or none")
        ->transform(CLI::CheckedTransformer(modes, CLI::ignore_case));
    cmd->add_flag("--require-tls", options->require_tls, "Fail unless the session is encrypted");
    cmd->add_option("--ca-file", options->ca_file, "Trust the CA certificates in this PEM file instead of the system's")
        ->check(CLI::ExistingFile);
    cmd->add_flag("--insecure", options->insecure, "Do not verify the server's certificate or name");
    cmd->add_flag("--allow-plaintext-auth", options->allow_plaintext_auth,
                  "Allow --user on a connection without TLS");
    cmd->add_flag("--trace", options->trace, "Show the dialogue on stderr (message lines counted, secrets hidden)");
    cmd->add_option("FILE", options->file, "Message file with CR LF or LF line ends; - or none reads standard input");
    cmd->callback([options] {
        if (options->require_tls && options->tls == tls_mode::none)
            throw CLI::ValidationError("--require-tls", "cannot go with --tls none");
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
