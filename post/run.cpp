#include "run.h"

#include <corvid/exception.h>
#include <corvid/format.h>
#include <corvid/internet/address/ip4.h>
#include <corvid/internet/environment/startup.h>
#include <corvid/internet/message2/entity.h>
#include <corvid/internet/smtp/agent.h>
#include <corvid/text.h>
#include <corvid/unicode/convert.h>

#include <exception>
#include <string_view>

namespace post {

namespace {

constexpr int ansi = 0;
constexpr std::string_view marker = "dialog SetupError";
constexpr int timeout_seconds = 30;

// The four characters before the first "." that starts at least one
// character past the end of the marker; false when either is missing.
bool find_error_text(const std::string& search, std::string& error_text) {
    const std::size_t start = search.find(marker);
    if (start == std::string::npos) return false;
    const std::size_t dot = search.find('.', start + marker.size() + 1);
    if (dot == std::string::npos) return false;
    error_text = search.substr(dot - 4, 4);
    return true;
}

// The steps of agent::send with STARTTLS after the hello; the server's
// certificate must be good for mail_host.
void send_over_tls(const corvid::internet::smtp::agent& agent, const corvid::internet::address::ip4& endpoint,
                   const std::vector<std::string>& lines, const settings& config) {
    namespace tcp = corvid::internet::transport::tcp;
    const auto plain = agent.connect(endpoint, timeout_seconds);
    corvid::internet::smtp::reply_texts texts;
    agent.hello(*plain, texts);
    const auto context = tcp::tls_context::client(config.ca_file);
    const auto secured = agent.starttls(*plain, context, config.mail_host, texts);
    if (!secured && config.tls == tls_policy::required)
        throw corvid::exception("The mail server " + config.mail_host + " does not offer encryption (STARTTLS).");
    agent.transact(secured ? *secured : *plain, config.support_mailbox, "", lines);
}

void send(const corvid::internet::message2::entity& message, ui& dialogs, const settings& config) {
    try {
        corvid::internet::environment::startup network;
        corvid::internet::smtp::agent agent("installer");
        {
            std::vector<std::string> lines = message.write();
            corvid::internet::address::ip4 endpoint(config.mail_host, config.port);
            dialogs.sending(config.mail_host);
            if (config.tls == tls_policy::none)
                agent.send(endpoint, config.support_mailbox, "", lines, timeout_seconds);
            else
                send_over_tls(agent, endpoint, lines, config);
        }
        dialogs.show({"Report submitted", "Thank you. The error report has been submitted."});
    } catch (const std::exception& failure) {
        dialogs.show({"Report not submitted", failure.what()});
    }
}

}  // namespace

int read_decimal(const std::string& text) { return corvid::leading_decimal<int>(text); }

decoded_log decode_log(const std::string& bytes) {
    decoded_log log;
    const auto first = static_cast<unsigned char>(bytes[0]);
    const auto second = static_cast<unsigned char>(bytes[1]);
    if (first != 0xFF && first != 0xFE && first != 0x00 && second != 0x00) {
        // Bytes that are not valid in the ANSI code page (a stray Latin-1
        // byte in a UTF-8 locale) must not stop the report.
        log.text = corvid::unicode::to_wide_substituting(bytes, ansi);
        log.search = bytes;
        return log;
    }
    // Little-endian code units; an odd last byte is dropped and a byte-order
    // mark stays as the first character.
    log.text.resize(bytes.size() / 2);
    for (std::size_t i = 0; i < log.text.size(); ++i)
        log.text[i] = char16_t(static_cast<unsigned char>(bytes[2 * i]) |
                               static_cast<unsigned char>(bytes[2 * i + 1]) << 8);
    // Characters the ANSI page cannot hold (and unpaired surrogates) become
    // "?", as the platform's default character would.
    log.search = corvid::unicode::to_narrow_substituting(log.text, ansi, '?');
    return log;
}

int run(const std::vector<std::string>& args, ui& dialogs, log_source& log, const settings& config) {
    std::string command_line;
    for (const std::string& arg : args) {
        if (!command_line.empty()) command_line += ' ';
        command_line += arg;
    }
    const int exit_code = read_decimal(command_line);
    if (exit_code == 0 || exit_code == 1602 || exit_code == 3010) return 0;

    corvid::internet::message2::entity message;
    message.add_header("Content-Transfer-Encoding", "base64");
    const std::string recipient = "\"Installation Support\" <" + config.support_mailbox + ">";
    message.add_header("To", recipient);
    message.body.charset = "utf-8";

    std::string bytes;
    const read_status status = log.read(bytes);
    if (status == read_status::not_opened) return 1;
    if (status == read_status::failed || bytes.size() <= 2) return 0;

    decoded_log decoded = decode_log(bytes);
    message.body.set_text(std::move(decoded.text));

    std::string subject;
    std::string error_text;
    if (find_error_text(decoded.search, error_text)) {
        dialogs.show({"error no", error_text, buttons::ok, icon::information});
        subject = corvid::format("Installation Error (Exit Code: %i)(Error: %i)", exit_code,
                                 read_decimal(error_text));
    } else {
        subject = corvid::format("Installation Error (Exit Code: %i)", exit_code);
    }
    message.add_header("Subject", subject);

    const report_preview preview{recipient, subject, message.body.data};
    const answer consent =
        dialogs.show({"Installation failed",
                      "We're very sorry, but the installation failed. Would you like to send an error "
                      "report to help resolve this problem?",
                      buttons::yes_no, icon::none, &preview});
    if (consent == answer::yes) send(message, dialogs, config);
    return 0;
}

}  // namespace post
