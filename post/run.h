#ifndef CORVID_POST_RUN_H
#define CORVID_POST_RUN_H

// The error-report run: from the installer's exit code to the last message
// box. The dialogs and the log file come in through interfaces so that the
// whole run can be driven without a screen or a disk.

#include <cstdint>
#include <string>
#include <vector>

namespace post {

enum class buttons { ok, yes_no };
enum class icon { none, information };
enum class answer { ok, yes, no };

// What the consent question may show on request, exactly as it would be sent.
struct report_preview {
    std::string recipient;
    std::string subject;
    std::string log_utf8;
};

struct box {
    std::string caption;
    std::string text;
    post::buttons buttons = buttons::ok;
    post::icon icon = icon::none;
    const report_preview* report = nullptr;  // set for the consent question only
};

class ui {
public:
    virtual ~ui() = default;
    // Blocks until the box is answered or closed.
    virtual answer show(const box& message) = 0;
    // Called just before the report goes out, so a slow server does not look
    // like a frozen program.
    virtual void sending(const std::string& host) = 0;
};

enum class read_status { not_opened, failed, read };

class log_source {
public:
    virtual ~log_source() = default;
    virtual read_status read(std::string& bytes) = 0;
};

// none: the report goes out as the plain SMTP exchange; opportunistic: in
// TLS when the server offers STARTTLS; required: in TLS or not at all.
enum class tls_policy { none, opportunistic, required };

struct settings {
    std::string mail_host;
    std::string support_mailbox;
    std::uint16_t port = 25;
    tls_policy tls = tls_policy::none;
    std::string ca_file;  // empty: the system's certificate store
};

// Returns the process exit code: 1 when the log cannot be opened, else 0.
int run(const std::vector<std::string>& args, ui& dialogs, log_source& log, const settings& config);

// The decimal reading used for the exit code and the error number: leading
// white space, an optional sign, the digits up to the first other character;
// no digits give 0, and values beyond int saturate.
int read_decimal(const std::string& text);

// The body text (as UTF-16) and the text searched for the marker, in the
// ANSI code page, decided from the first two bytes of the log. The log must
// hold at least two bytes; run() never passes fewer than three.
struct decoded_log {
    std::u16string text;
    std::string search;
};
decoded_log decode_log(const std::string& bytes);

}  // namespace post

#endif
