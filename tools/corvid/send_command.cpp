// SPDX-License-Identifier: MIT
#include "command_output.h"
#include "commands.h"
#include "dialogue_watch.h"
#include "io.h"

#include <corvid/exception.h>
#include <corvid/internet/address/errors.h>
#include <corvid/internet/address/endpoint.h>
#include <corvid/internet/environment/environment.h>
#include <corvid/internet/environment/startup.h>
#include <corvid/internet/message2/addresses.h>
#include <corvid/internet/smtp/agent.h>
#include <corvid/internet/transport/errors.h>
#include <corvid/internet/transport/tcp/tls.h>
#include <corvid/line_reader.h>
#include <corvid/text.h>

#include <cstdint>
#include <cstdio>
#include <exception>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <sysexits.h>
#include <vector>

namespace corvid_tool {

namespace {

namespace address = corvid::internet::address;
namespace environment = corvid::internet::environment;
namespace smtp = corvid::internet::smtp;
namespace tcp = corvid::internet::transport::tcp;
using stage = dialogue_watch::stage;

enum class tls_mode { starttls, implicit, none };

struct send_options {
    std::string server;
    bool ip4_only = false;
    bool ip6_only = false;
    tls_mode tls = tls_mode::starttls;
    bool require_tls = false;
    std::string ca_file;
    bool insecure = false;
    bool allow_plaintext_auth = false;
    int port = 25;
    std::vector<std::string> to;
    bool read_recipients = false;
    std::string from;
    bool read_envelope_from = false;
    std::string helo;
    int timeout = 30;
    int data_timeout = 600;
    std::string user;
    std::string password_file;
    std::string password_command;
    smtp::login_mechanism mechanism = smtp::login_mechanism::automatic;
    bool trace = false;
    std::string file;
    std::string log;
    // Taken for sendmail's sake; a lone dot never ended the input anyway.
    bool ignore_dots = false;
    std::string sendmail_option;
};

// A failure as one line after "corvid send: " and the exit status that
// tells a script what to do about it (sysexits.h, as mail submission
// programs use it).
class failed : public std::runtime_error {
public:
    failed(int status, const std::string& text) : std::runtime_error(text), status(status) {}
    int status;
};

// The library's own errors keep their dotted name; the tool's plain ones
// (an unreadable file) read better as the message alone.
std::string text_of(const corvid::exception& e) { return *e.name() ? e.what() : e.message(); }

// The message with CR LF line ends, however the file ended its lines. A
// final line end closes the last line rather than opening an empty one.
std::string message_text(const std::string& bytes) {
    corvid::line_reader reader(bytes);
    reader.finish();
    std::vector<std::string> lines;
    reader.get_lines(lines);
    if (bytes.back() == '\r' || bytes.back() == '\n') lines.pop_back();
    std::string text;
    text.reserve(bytes.size() + lines.size());
    for (const std::string& line : lines) text.append(line).append("\r\n");
    return text;
}

// The header section's fields as sendmail -t reads them: each whole field
// (folded lines joined) with the byte range it takes in text.
struct header_field {
    std::string name;
    std::string value;
    std::size_t begin, end;
};

std::vector<header_field> header_fields(const std::string& text) {
    std::vector<header_field> fields;
    for (std::size_t at = 0; at < text.size();) {
        std::size_t end = text.find("\r\n", at);
        end = end == std::string::npos ? text.size() : end + 2;
        const std::string_view line = std::string_view(text).substr(at, end - at);
        if (line == "\r\n") break;
        if ((line[0] == ' ' || line[0] == '\t') && !fields.empty()) {
            fields.back().value += line;
            fields.back().end = end;
        } else {
            const std::size_t colon = line.find(':');
            if (colon == std::string_view::npos) break;  // not a field: the body starts
            fields.push_back({corvid::to_lower(std::string(line.substr(0, colon))), std::string(line.substr(colon + 1)),
                              at, end});
        }
        at = end;
    }
    return fields;
}

// -t: the recipients of To, Cc and Bcc; the Bcc fields leave the text, so
// that no recipient learns of them.
std::vector<std::string> take_header_recipients(std::string& text) {
    std::vector<std::string> recipients;
    const std::vector<header_field> fields = header_fields(text);
    for (auto field = fields.rbegin(); field != fields.rend(); ++field) {
        if (field->name != "to" && field->name != "cc" && field->name != "bcc") continue;
        const auto found = corvid::internet::message2::mailbox_addresses(field->value);
        recipients.insert(recipients.begin(), found.begin(), found.end());
        if (field->name == "bcc") text.erase(field->begin, field->end - field->begin);
    }
    return recipients;
}

std::string header_sender(const std::string& text) {
    for (const header_field& field : header_fields(text)) {
        if (field.name != "from") continue;
        const auto found = corvid::internet::message2::mailbox_addresses(field.value);
        if (!found.empty()) return found.front();
    }
    throw failed(EX_DATAERR, "--read-envelope-from: the message has no From address");
}

std::string password_of(const send_options& options, bool message_on_stdin) {
    try {
        if (!options.password_command.empty())
            return first_output_line(command_words(options.password_command), options.timeout);
        if ((options.password_file.empty() || options.password_file == "-") && message_on_stdin)
            throw corvid::exception("the password and the message cannot both come from standard input");
        const std::string text = read_input(options.password_file);
        return text.substr(0, text.find_first_of("\r\n"));
    } catch (const corvid::exception& e) {
        throw failed(EX_CONFIG, "cannot read the password: " + text_of(e));
    }
}

// Whether e, or the failure it carries, is of class T.
template <typename T>
bool is_or_carries(const std::exception& e) {
    if (dynamic_cast<const T*>(&e)) return true;
    const auto* nested = dynamic_cast<const std::nested_exception*>(&e);
    if (!nested || !nested->nested_ptr()) return false;
    try {
        nested->rethrow_nested();
    } catch (const std::exception& inner) {
        return is_or_carries<T>(inner);
    } catch (...) {
    }
    return false;
}

// What went wrong in the session, from the step the dialogue had reached,
// and its exit status.
failed describe(const dialogue_watch& watch, const corvid::exception& e) {
    const bool reply = dynamic_cast<const smtp::temporary_failure*>(&e) != nullptr ||
                       dynamic_cast<const smtp::permanent_failure*>(&e) != nullptr;
    // The server's own verdict carries its reply line; anything else (a lost
    // connection, a time-out, a malformed reply) failed on the way.
    const bool refused = reply && !is_or_carries<corvid::internet::transport::generic>(e);
    // Pipelined, the refused command need not be the last one sent.
    const std::string verb = refused ? watch.command_answered_by(e.message()) : watch.last_command();
    int status = EX_UNAVAILABLE;
    if (dynamic_cast<const smtp::protocol_error*>(&e))
        status = EX_PROTOCOL;
    else if (dynamic_cast<const smtp::login_failed*>(&e))
        status = is_or_carries<smtp::temporary_failure>(e) ? EX_TEMPFAIL : EX_NOPERM;
    else if (dynamic_cast<const smtp::temporary_failure*>(&e) || is_or_carries<tcp::connection_failed>(e))
        status = EX_TEMPFAIL;
    else if (dynamic_cast<const smtp::permanent_failure*>(&e) &&
             (verb == "RCPT TO" || verb == "DATA" || watch.where() == stage::end_of_data))
        status = EX_DATAERR;
    if (dynamic_cast<const smtp::outcome_unknown*>(&e))
        return {status, "the server may have the message (do not send it again blindly): " + text_of(e)};
    if (dynamic_cast<const smtp::login_failed*>(&e)) return {status, std::string("login refused: ") + e.message()};
    switch (watch.where()) {
        case stage::greeting: return {status, (refused ? "session refused: " : "greeting failed: ") + text_of(e)};
        case stage::message_text: return {status, "sending the message failed: " + text_of(e)};
        case stage::end_of_data: return {status, (refused ? "message refused: " : "message failed: ") + text_of(e)};
        default: return {status, verb + (refused ? " refused: " : " failed: ") + text_of(e)};
    }
}

const char* tls_name(tls_mode mode) {
    switch (mode) {
        case tls_mode::starttls: return "starttls";
        case tls_mode::implicit: return "implicit";
        case tls_mode::none: break;
    }
    return "none";
}

// One line per message for --log: when, where, how, who and what came of
// it.
void append_log(const send_options& options, const std::string& sender, const smtp::delivery* result,
                std::size_t size, const std::string& outcome) {
    std::string line = utc_time_stamp();
    line.append(" server=").append(options.server).append(":").append(std::to_string(options.port));
    line.append(" tls=").append(result && !result->tls.empty() ? result->tls : tls_name(options.tls));
    if (!options.user.empty()) line.append(" user=").append(options.user);
    line.append(" from=<").append(sender).append(">");
    if (result) {
        for (const smtp::recipient_reply& r : result->recipients)
            line.append(" to=<").append(r.address).append(">:\"").append(r.reply).append("\"");
    } else {
        for (const std::string& r : options.to) line.append(" to=<").append(r).append(">");
    }
    line.append(" size=").append(std::to_string(size)).append(" result=\"").append(outcome).append("\"");
    std::ofstream out(options.log, std::ios::app | std::ios::binary);
    out << corvid::printable(line) << '\n';
    if (!out) std::fprintf(stderr, "corvid send: cannot append to %s\n", corvid::printable(options.log).c_str());
}

void deliver(send_options options) {
    const bool message_on_stdin = options.file.empty() || options.file == "-";
    std::string bytes;
    try {
        bytes = read_input(options.file);
    } catch (const corvid::exception& e) {
        throw failed(EX_NOINPUT, text_of(e));
    }
    if (bytes.empty())
        throw failed(EX_NOINPUT, "no message in " + (message_on_stdin ? std::string("standard input") : options.file));
    std::string text = message_text(bytes);
    if (options.read_recipients) {
        const std::vector<std::string> found = take_header_recipients(text);
        options.to.insert(options.to.end(), found.begin(), found.end());
    }
    if (options.to.empty()) throw failed(EX_USAGE, "no recipient: give --to, addresses or -t");
    if (options.read_envelope_from) options.from = header_sender(text);
    for (const std::string& address : options.to)
        if (smtp::has_line_break(address) || address.find_first_of("<>") != std::string::npos)
            throw failed(EX_DATAERR, "not an address: " + corvid::printable(address));
    // Caught here with a status of its own: the message is at fault, not
    // the server.
    const smtp::text_facts facts = smtp::examine_text(text);
    if (facts.long_line != 0)
        throw failed(EX_DATAERR, "line " + std::to_string(facts.long_line) +
                                     " of the message is longer than 998 octets, which relays would break");

    smtp::session_options session;
    session.tls = options.tls == tls_mode::none       ? smtp::tls_policy::none
                  : options.tls == tls_mode::implicit ? smtp::tls_policy::implicit
                  : options.require_tls               ? smtp::tls_policy::required
                                                      : smtp::tls_policy::opportunistic;
    if (options.tls != tls_mode::none)
        session.tls_context =
            std::make_shared<const tcp::tls_context>(tcp::tls_context::client(options.ca_file, !options.insecure));
    // An IPv6 address may come in brackets, as in a URL.
    std::string host = options.server;
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
    session.server_name = host;
    if (!options.user.empty()) session.secret = password_of(options, message_on_stdin);
    session.user = options.user;
    session.mechanism = options.mechanism;
    session.allow_plaintext_login = options.allow_plaintext_auth;
    session.timeout_seconds = options.timeout;
    session.final_reply_timeout_seconds = options.data_timeout;
    dialogue_watch watch(options.trace);
    session.observer = &watch;

    environment::startup network;
    std::vector<address::endpoint> endpoints;
    try {
        endpoints = address::resolve(host, static_cast<std::uint16_t>(options.port),
                                     options.ip4_only   ? address::family::ip4
                                     : options.ip6_only ? address::family::ip6
                                                        : address::family::any);
    } catch (const corvid::exception& e) {
        const bool unknown = dynamic_cast<const address::host_not_found*>(&e) != nullptr;
        throw failed(unknown ? EX_NOHOST : EX_UNAVAILABLE, "cannot resolve " + options.server + ": " + text_of(e));
    }
    // Each address is tried in turn; the failure names them all at once.
    const std::string where = endpoints.size() == 1 ? address::numeric_text(endpoints.front())
                                                    : options.server + " port " + std::to_string(options.port) +
                                                          " (" + std::to_string(endpoints.size()) + " addresses)";
    const smtp::agent agent(options.helo.empty() ? environment::host_name() : options.helo);
    smtp::delivery result;
    try {
        result = agent.send(endpoints, smtp::envelope{options.from, options.to}, text, session);
    } catch (const corvid::exception& e) {
        failed failure = describe(watch, e);
        // The transport names the call that failed; the connect's own
        // failure comes unwrapped.
        if (dynamic_cast<const corvid::internet::transport::generic*>(&e) && std::string_view(e.message()) == "connect() failed")
            failure = failed(EX_TEMPFAIL, "cannot connect to " + where + ": " + text_of(e));
        else if (is_or_carries<tcp::tls_failed>(e))
            failure = failed(EX_UNAVAILABLE, "TLS with " + where + " failed: " + text_of(e));
        if (!options.log.empty()) append_log(options, options.from, nullptr, text.size(), failure.what());
        throw failure;
    }
    if (!result.tls.empty()) watch.note("TLS: " + result.tls);
    if (!options.log.empty()) append_log(options, options.from, &result, text.size(), result.reply);
    // The message is the server's now: what follows is reported, never a
    // reason to send it again.
    for (const smtp::recipient_reply& r : result.recipients)
        if (!r.accepted)
            std::fprintf(stderr, "corvid send: delivered, but %s was refused: %s\n",
                         corvid::printable(r.address).c_str(), corvid::printable(r.reply).c_str());
    if (result.closing_failure) {
        try {
            std::rethrow_exception(result.closing_failure);
        } catch (const smtp::unreliable_delivery& e) {
            std::string cause = e.message();
            try {
                std::rethrow_if_nested(e);
            } catch (const corvid::exception& inner) {
                cause = text_of(inner);
            } catch (...) {
            }
            std::fprintf(stderr, "corvid send: message accepted, but QUIT %s: %s\n",
                         watch.last_reply().empty() ? "failed" : "refused", corvid::printable(cause).c_str());
        }
    }
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
    auto* cmd = app.add_subcommand(
        "send", "Deliver one message from standard input (or --file) to an SMTP server, as sendmail does");
    cmd->add_option("--server", options->server,
                    "Mail server: host name, IPv4 address or IPv6 address (in brackets or not); each of its "
                    "addresses is tried in turn")
        ->required();
    auto* ip4_only = cmd->add_flag("-4", options->ip4_only, "Use IPv4 addresses only");
    cmd->add_flag("-6", options->ip6_only, "Use IPv6 addresses only")->excludes(ip4_only);
    cmd->add_option("--port", options->port, "TCP port")->capture_default_str()->check(CLI::Range(1, 65535));
    cmd->add_option("--to,ADDRESS", options->to, "Recipient address, without angle brackets (repeatable)")
        ->check(command_text);
    cmd->add_flag("-t,--read-recipients", options->read_recipients,
                  "Also send to the addresses of To, Cc and Bcc, and remove Bcc from the message");
    cmd->add_option("-f,--from", options->from, "Envelope sender address (default: empty, as for a bounce)")
        ->check(command_text);
    cmd->add_flag("--read-envelope-from", options->read_envelope_from, "Take the envelope sender from From");
    cmd->add_flag("-i", options->ignore_dots, "Accepted for sendmail: a line of one dot never ends the input");
    cmd->add_option("-o", options->sendmail_option, "Accepted for sendmail: -oi as -i")->check(CLI::IsMember({"i"}));
    cmd->add_option("--file", options->file, "Message file with CR LF or LF line ends; - or none reads standard input");
    cmd->add_option("--helo", options->helo, "Own name for EHLO (default: this host's name)")->check(command_text);
    cmd->add_option("--timeout", options->timeout, "Seconds to wait for the connection and each reply")
        ->capture_default_str()
        ->check(CLI::Range(1, 86400));
    cmd->add_option("--data-timeout", options->data_timeout, "Seconds to wait for the reply to the whole message")
        ->capture_default_str()
        ->check(CLI::Range(1, 86400));
    auto* user = cmd->add_option("--user", options->user, "Log in with AUTH under this name")->check(command_text);
    auto* password = cmd->add_option("--password-file", options->password_file,
                                     "File whose first line is the password or token; - reads standard input");
    auto* command = cmd->add_option("--password-command", options->password_command,
                                    "Command (run without a shell) whose first output line is the password or token");
    password->excludes(command);
    const std::map<std::string, smtp::login_mechanism> mechanisms{
        {"cram-md5", smtp::login_mechanism::cram_md5}, {"plain", smtp::login_mechanism::plain},
        {"login", smtp::login_mechanism::login},       {"xoauth2", smtp::login_mechanism::xoauth2},
        {"oauthbearer", smtp::login_mechanism::oauthbearer}};
    cmd->add_option("--auth", options->mechanism,
                    "Login mechanism: cram-md5, plain, login, xoauth2 or oauthbearer (default: the first of "
                    "CRAM-MD5, PLAIN, LOGIN that the server offers)")
        ->transform(CLI::CheckedTransformer(mechanisms, CLI::ignore_case))
        ->needs(user);
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
                  "Allow PLAIN, LOGIN and bearer tokens on a connection without TLS");
    cmd->add_flag("--trace", options->trace, "Show the dialogue on stderr (message lines counted, secrets hidden)");
    cmd->add_option("--log", options->log, "Append one line per message to this file");
    cmd->callback([options] {
        if (options->require_tls && options->tls == tls_mode::none)
            throw CLI::ValidationError("--require-tls", "cannot go with --tls none");
        const bool secret = !options->password_file.empty() || !options->password_command.empty();
        if (options->user.empty() == secret)
            throw CLI::ValidationError("--user", "goes with one of --password-file and --password-command");
        try {
            deliver(*options);
        } catch (const failed& e) {
            // Peer and user text may be in it: kept to one plain line.
            std::fprintf(stderr, "corvid send: %s\n", printable(e.what()).c_str());
            throw CLI::RuntimeError(e.status);
        } catch (const corvid::exception& e) {
            std::fprintf(stderr, "corvid send: %s\n", printable(text_of(e)).c_str());
            throw CLI::RuntimeError(EX_SOFTWARE);
        }
    });
}

}  // namespace corvid_tool
