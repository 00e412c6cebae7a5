// SPDX-License-Identifier: MIT
#include "run.h"

#include <corvid/exception.h>
#include <corvid/format.h>
#include <corvid/internet/address/errors.h>
#include <corvid/internet/address/endpoint.h>
#include <corvid/internet/environment/environment.h>
#include <corvid/internet/environment/startup.h>
#include <corvid/internet/message2/entity.h>
#include <corvid/internet/message2/message_id.h>
#include <corvid/internet/smtp/agent.h>
#include <corvid/internet/transport/errors.h>
#include <corvid/rfc822_date.h>
#include <corvid/text.h>
#include <corvid/unicode/ansi_codepage.h>
#include <corvid/unicode/convert.h>
#include <corvid/unicode/transcoder.h>

#include <algorithm>
#include <ctime>
#include <exception>
#include <string_view>
#include <sys/stat.h>

namespace post {

namespace {

namespace smtp = corvid::internet::smtp;
namespace tcp = corvid::internet::transport::tcp;
using corvid::internet::message2::entity;

constexpr int ansi = 0;
constexpr std::string_view marker = "dialog SetupError";
constexpr int windows_1252 = 1252;
// UTF-16 logs are converted this many code units at a time, so that a log
// is held as its bytes and its UTF-8 text and never as wide text whole.
constexpr std::size_t piece = 1 << 20;

// The four characters before the first "." that starts at least one
// character past the end of the marker; empty when either is missing.
std::string find_error_text(std::string_view search) {
    const std::size_t start = search.find(marker);
    if (start == std::string_view::npos) return {};
    const std::size_t dot = search.find('.', start + marker.size() + 1);
    if (dot == std::string_view::npos) return {};
    return std::string(search.substr(dot - 4, 4));
}

// The transcoder works through the bytes a piece at a time, so the log is
// never held as wide text whole.
std::string to_utf8(std::string_view bytes, int codepage) {
    // Read whatever the log holds: a stray byte must not stop the report.
    corvid::unicode::transcoder converter(codepage, corvid::unicode::utf8_codepage, true);
    std::string utf8;
    utf8.reserve(bytes.size() + bytes.size() / 8);
    converter.step(bytes, utf8);
    converter.finish(utf8);
    return utf8;
}

// The host's fully qualified name, or "" when it has none (or it cannot
// be asked).
std::string local_domain() {
    try {
        corvid::internet::environment::startup network;
        return corvid::internet::environment::fully_qualified_name();
    } catch (const std::exception&) {
        return {};
    }
}

std::string mailbox_domain(const std::string& mailbox) {
    const std::size_t at = mailbox.rfind('@');
    return at == std::string::npos || at + 1 == mailbox.size() ? "localhost" : mailbox.substr(at + 1);
}

// What RFC 5322 asks of every message besides the four headers the report
// always had, which stay first and in their order.
void add_report_headers(entity& message, const settings& config, const std::string& domain) {
    message.add_header("MIME-Version", "1.0");
    message.add_header("Date", corvid::rfc822_local_date(std::time(nullptr)));
    message.add_header("Message-ID", corvid::internet::message2::make_message_id(domain.empty() ? mailbox_domain(config.support_mailbox) : domain));
    message.add_header("From", config.report_from);
}

void deliver(const std::vector<corvid::internet::address::endpoint>& endpoints, std::string_view text,
             const settings& config, const std::string& domain) {
    smtp::session_options options;
    options.tls = config.tls;
    options.server_name = config.mail_host;  // the certificate must be good for it
    if (config.tls != tls_policy::none)
        options.tls_context = std::make_shared<const tcp::tls_context>(tcp::tls_context::client(config.ca_file));
    options.timeout_seconds = config.timeout_seconds;
    // A server may refuse a greeting that is no domain: the configured name,
    // else the host's own, else (an empty name) the address literal of this
    // end.
    const smtp::agent agent(!config.helo_name.empty() ? config.helo_name : domain);
    const smtp::delivery result = agent.send(endpoints, smtp::envelope{"", {config.support_mailbox}}, text, options);
    // The server answered the message itself with success; a failing QUIT
    // does not undo that.
    static_cast<void>(result);
}

enum class failure_kind { not_found, unreachable, timed_out, insecure, refused, other };

// The kind of a failure, looking through the SMTP errors that stand for a
// transport failure to the failure itself.
failure_kind kind_of(const std::exception_ptr& failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const corvid::internet::address::host_not_found&) {
        return failure_kind::not_found;
    } catch (const corvid::internet::address::service_not_found&) {
        return failure_kind::not_found;
    } catch (const tcp::connection_timed_out&) {
        return failure_kind::timed_out;
    } catch (const tcp::tls_failed&) {
        return failure_kind::insecure;
    } catch (const corvid::internet::transport::generic&) {
        return failure_kind::unreachable;
    } catch (const smtp::generic& e) {
        const auto* nested = dynamic_cast<const std::nested_exception*>(&e);
        if (nested && nested->nested_ptr()) return kind_of(nested->nested_ptr());
        const bool reply = dynamic_cast<const smtp::temporary_failure*>(&e) ||
                           dynamic_cast<const smtp::permanent_failure*>(&e);
        return reply ? failure_kind::refused : failure_kind::other;
    } catch (...) {
        return failure_kind::other;
    }
}

// A plain sentence for the person above the failure's own text.
std::string failure_text(const std::exception& failure, const settings& config) {
    const std::string server = "The support mail server " + config.mail_host;
    std::string sentence;
    switch (kind_of(std::current_exception())) {
    case failure_kind::not_found:
        sentence = server + " could not be found. Check that this computer is connected to the Internet.";
        break;
    case failure_kind::unreachable:
        sentence = server + " could not be reached, or it refused the connection.";
        break;
    case failure_kind::timed_out:
        sentence = server + " did not answer in time.";
        break;
    case failure_kind::insecure:
        sentence = "A secure connection to the support mail server " + config.mail_host +
                   " could not be made: its certificate or the encryption failed.";
        break;
    case failure_kind::refused: {
        const auto* library = dynamic_cast<const corvid::exception*>(&failure);
        sentence = server + " refused the report" + (library ? std::string(": ") + library->message() : "") + ".";
        break;
    }
    case failure_kind::other:
        sentence = "The error report could not be sent to the support mail server " + config.mail_host + ".";
        break;
    }
    return sentence + " The installer's log, install.txt, is still in its folder.\n\n" + failure.what();
}

// Offers to keep the report as a file that any mail program can send; a
// failed save is told and offered again, as long as the person wants.
void offer_to_save(const entity& message, ui& dialogs, const settings& config) {
    std::string path = dialogs.save_path(config.report_path);
    for (int round = 0; round < 100 && !path.empty(); ++round) {
        try {
            message.save(path);
            dialogs.show({"Report saved", "The error report was saved to " + path +
                                              ". You can send it to " + config.support_mailbox +
                                              " from any mail program."});
            return;
        } catch (const std::exception& failure) {
            const box again{"Report not saved", "The error report could not be saved to " + path + ".\n\n" +
                                                    failure.what(),
                            buttons::ok, icon::none, nullptr, true};
            if (dialogs.show(again) != answer::save) return;
            path = dialogs.save_path(path);
        }
    }
}

void send(const entity& message, ui& dialogs, const settings& config, const std::string& domain) {
    try {
        corvid::internet::environment::startup network;
        {
            // The text as one string with CR LF line ends: a large log is
            // held as its body and its base64 text, not as millions of lines.
            const std::string text = message.write_text();
            // Every address of the mail host, IPv6 and IPv4, tried in turn.
            const auto endpoints = corvid::internet::address::resolve(config.mail_host, config.port);
            dialogs.sending(config.mail_host);
            deliver(endpoints, text, config, domain);
        }
    } catch (const std::exception& failure) {
        const box failed{"Report not submitted", failure_text(failure, config), buttons::ok, icon::none, nullptr,
                         true};
        if (dialogs.show(failed) == answer::save) offer_to_save(message, dialogs, config);
        return;
    }
    dialogs.show({"Report submitted", "Thank you. The error report has been submitted."});
}

}  // namespace

int read_decimal(const std::string& text) { return corvid::leading_decimal<int>(text); }

decoded_log decode_log(std::string bytes) {
    decoded_log log;
    const auto first = static_cast<unsigned char>(bytes[0]);
    const auto second = static_cast<unsigned char>(bytes[1]);
    if (first != 0xFF && first != 0xFE && first != 0x00 && second != 0x00) {
        log.error_text = find_error_text(bytes);
        const int page = corvid::unicode::ansi_codepage();
        if (page != corvid::unicode::utf8_codepage) {
            log.utf8 = to_utf8(bytes, ansi);
        } else if (corvid::is_valid_utf8(bytes)) {
            log.utf8 = std::move(bytes);  // already what the body holds
        } else {
            // Installers that write such logs mean Windows-1252, whose five
            // unassigned bytes stay the C1 controls of the same value.
            log.utf8 = to_utf8(bytes, windows_1252);
        }
        return log;
    }
    // Little-endian code units; an odd last byte is dropped and a byte-order
    // mark stays as the first character. A piece never ends between the two
    // halves of a surrogate pair.
    const std::size_t units = bytes.size() / 2;
    const auto unit = [&](std::size_t i) {
        return char16_t(static_cast<unsigned char>(bytes[2 * i]) | static_cast<unsigned char>(bytes[2 * i + 1]) << 8);
    };
    std::string search;
    log.utf8.reserve(units);
    search.reserve(units);
    std::u16string wide;
    for (std::size_t at = 0; at < units;) {
        std::size_t end = std::min(units, at + piece);
        if (end < units && unit(end - 1) >= 0xD800 && unit(end - 1) <= 0xDBFF) ++end;
        wide.clear();
        for (; at < end; ++at) wide += unit(at);
        log.utf8 += corvid::unicode::to_narrow(wide, corvid::unicode::utf8_codepage);
        // Characters the ANSI page cannot hold (and unpaired surrogates)
        // become "?", as the platform's default character would.
        search += corvid::unicode::to_narrow_substituting(wide, ansi, '?');
    }
    log.error_text = find_error_text(search);
    return log;
}

std::string default_report_path(const char* home) {
    const std::string name = "installation-error-report.eml";
    if (!home || !*home) return name;
    const std::string documents = std::string(home) + "/Documents";
    struct stat facts {};
    if (::stat(documents.c_str(), &facts) == 0 && S_ISDIR(facts.st_mode)) return documents + "/" + name;
    return std::string(home) + "/" + name;
}

int run(const std::vector<std::string>& args, ui& dialogs, log_source& log, const settings& config) {
    std::string command_line;
    for (const std::string& arg : args) {
        if (!command_line.empty()) command_line += ' ';
        command_line += arg;
    }
    const int exit_code = read_decimal(command_line);
    if (exit_code == 0 || exit_code == 1602 || exit_code == 3010) return 0;

    entity message;
    message.add_header("Content-Transfer-Encoding", "base64");
    const std::string recipient = "\"Installation Support\" <" + config.support_mailbox + ">";
    message.add_header("To", recipient);
    message.body.charset = "utf-8";

    std::string bytes;
    const read_status status = log.read(bytes);
    if (status == read_status::not_opened) return 1;
    if (status == read_status::failed || bytes.size() <= 2) return 0;

    decoded_log decoded = decode_log(std::move(bytes));
    message.body.data = std::move(decoded.utf8);

    std::string subject;
    if (!decoded.error_text.empty()) {
        dialogs.show({"error no", decoded.error_text, buttons::ok, icon::information});
        subject = corvid::format("Installation Error (Exit Code: %i)(Error: %i)", exit_code,
                                 read_decimal(decoded.error_text));
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
    if (consent != answer::yes) return 0;
    // Asking the resolver for the host's name may take a while on a machine
    // without a network: only once the person has said yes.
    const std::string domain = local_domain();
    add_report_headers(message, config, domain);
    send(message, dialogs, config, domain);
    return 0;
}

}  // namespace post
