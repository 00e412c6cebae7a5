// SPDX-License-Identifier: MIT
#ifndef CORVID_POST_RUN_H
#define CORVID_POST_RUN_H

// The error-report run: from the installer's exit code to the last message
// box. The dialogs and the log file come in through interfaces so that the
// whole run can be driven without a screen or a disk.

#include <cstdint>
#include <corvid/internet/smtp/agent.h>

#include <string>
#include <string_view>
#include <vector>

namespace post {

enum class buttons { ok, yes_no };
enum class icon { none, information };
// save: the person asked to keep the report in a file (only from a box
// that offers it).
enum class answer { ok, yes, no, save };

// What the consent question may show on request, exactly as it would be
// sent. The log is the message's own body, not a copy: a large log is held
// once.
struct report_preview {
    std::string recipient;
    std::string subject;
    std::string_view log_utf8;
};

struct box {
    std::string caption;
    std::string text;
    post::buttons buttons = buttons::ok;
    post::icon icon = icon::none;
    const report_preview* report = nullptr;  // set for the consent question only
    bool offers_save = false;                // a failure: the report may be kept in a file
};

class ui {
public:
    virtual ~ui() = default;
    // Blocks until the box is answered or closed.
    virtual answer show(const box& message) = 0;
    // Called just before the report goes out, so a slow server does not look
    // like a frozen program.
    virtual void sending(const std::string& host) = 0;
    // Asks where to save the report, suggesting a path; "" when the person
    // would rather not save it.
    virtual std::string save_path(const std::string& suggested) = 0;
};

enum class read_status { not_opened, failed, read };

class log_source {
public:
    virtual ~log_source() = default;
    virtual read_status read(std::string& bytes) = 0;
};

// none: the report goes out as the plain SMTP exchange; opportunistic: in
// TLS when the server offers STARTTLS; required: in TLS or not at all.
using tls_policy = corvid::internet::smtp::tls_policy;

struct settings {
    std::string mail_host;
    std::string support_mailbox;
    std::uint16_t port = 25;
    tls_policy tls = tls_policy::none;
    std::string ca_file;      // empty: the system's certificate store
    std::string report_from;  // the From header's value
    // The name post greets the server with; empty: the host's fully
    // qualified name, or the address literal of the connection's local end.
    std::string helo_name;
    // Where a report that could not be sent is offered to be saved.
    std::string report_path;
    // Bounds the connect and each wait for the server.
    int timeout_seconds = 30;
};

// Returns the process exit code: 1 when the log cannot be opened, else 0.
int run(const std::vector<std::string>& args, ui& dialogs, log_source& log, const settings& config);

// The decimal reading used for the exit code and the error number: leading
// white space, an optional sign, the digits up to the first other character;
// no digits give 0, and values beyond int saturate.
int read_decimal(const std::string& text);

// The log as the report's body, in UTF-8, decided from its first two bytes
// (UTF-16 little-endian or the ANSI code page; where that page is UTF-8 and
// the log is not, Windows-1252), and the four characters before the first
// "." that follows the marker "dialog SetupError", read from the log in the
// ANSI code page: empty when either is missing. The log must hold at least
// two bytes; run() never passes fewer than three.
struct decoded_log {
    std::string utf8;
    std::string error_text;
};
decoded_log decode_log(std::string bytes);

// Where a report is offered to be saved: installation-error-report.eml in
// the documents folder under home, or in home, or else in the current folder.
std::string default_report_path(const char* home);

}  // namespace post

#endif
