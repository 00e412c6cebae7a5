// SPDX-License-Identifier: MIT
#include "about.h"

namespace post {

namespace {

const char* tls_name(tls_policy tls) {
    switch (tls) {
    case tls_policy::none: return "none";
    case tls_policy::opportunistic: return "opportunistic (STARTTLS when offered)";
    case tls_policy::required: return "required";
    case tls_policy::implicit: return "implicit (TLS from the first byte)";
    }
    return "?";
}

std::string or_else(const std::string& value, const char* empty) { return value.empty() ? empty : value; }

void write_settings(const settings& config, std::ostream& out) {
    out << "Reports go to:\n"
        << "  mail host:  " << config.mail_host << "\n"
        << "  port:       " << config.port << "\n"
        << "  mailbox:    " << config.support_mailbox << "\n"
        << "  TLS:        " << tls_name(config.tls) << "\n"
        << "  CA file:    " << or_else(config.ca_file, "(the system's store)") << "\n"
        << "  From:       " << config.report_from << "\n"
        << "  greeting:   " << or_else(config.helo_name, "(this host's name or address)") << "\n";
}

}  // namespace

bool answer_about(const std::vector<std::string>& args, const settings& config, std::ostream& out) {
    if (args.size() != 1 || (args[0] != "--version" && args[0] != "--help")) return false;
    if (args[0] == "--version") {
        out << "post " CORVID_VERSION "\n";
        write_settings(config, out);
    } else {
        out << "Usage: post EXIT-CODE\n"
               "       post --version | --help\n"
               "\n"
               "An installer's last step. For an exit code other than 0, 1602 and 3010,\n"
               "post reads install.txt in the current folder and offers to mail it to\n"
               "support. Exit status: 1 when install.txt cannot be opened, else 0.\n"
               "POST_UI=gtk, terminal or none chooses where the questions are asked.\n"
               "\n";
        write_settings(config, out);
    }
    out.flush();
    return true;
}

}  // namespace post
