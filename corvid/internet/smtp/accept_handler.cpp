// SPDX-License-Identifier: MIT
#include <corvid/internet/smtp/accept_handler.h>

#include <corvid/coding/hex.h>
#include <corvid/coding/hmac_md5.h>
#include <corvid/text.h>

namespace corvid::internet::smtp {

accept_handler::~accept_handler() = default;

void accept_handler::reset() {
    sender.clear();
    recipients.clear();
}

bool accept_handler::accept_command(const std::string&) { return true; }

bool accept_handler::accept_sender(const std::string& address) {
    sender = to_lower(address);
    return true;
}

bool accept_handler::accept_recipient(const std::string& address) {
    recipients.insert(address);
    return true;
}

bool accept_handler::accept_message(const std::vector<std::string>&) { return true; }

void accept_handler::begin_message(const std::string& trace_line) {
    trace = trace_line;
    gathered.clear();
}

void accept_handler::message_text(std::string_view text) { gathered.append(text); }

bool accept_handler::end_message() {
    std::vector<std::string> lines{std::move(trace)};
    for (std::size_t at = 0; at < gathered.size();) {
        std::size_t end = gathered.find("\r\n", at);
        if (end == std::string::npos) end = gathered.size();
        lines.emplace_back(gathered, at, end - at);
        at = end + 2;
    }
    std::string().swap(gathered);
    return accept_message(lines);
}

void accept_handler::abort_message() {
    std::string().swap(gathered);
    trace.clear();
}

bool accept_handler::accept_login(const std::string&, const std::string&) { return false; }

std::optional<std::string> accept_handler::login_secret(const std::string&) { return std::nullopt; }

bool accept_handler::accept_cram_md5(const std::string& user, const std::string& challenge, const std::string& digest) {
    const auto secret = login_secret(user);
    if (!secret) return false;
    const std::string expected = coding::hex_encode(coding::hmac_md5(*secret, challenge));
    // Constant time, so that a response's timing tells nothing of the digest.
    unsigned char differ = expected.size() == digest.size() ? 0 : 1;
    for (std::size_t i = 0; i < expected.size() && i < digest.size(); ++i)
        differ |= static_cast<unsigned char>(expected[i] ^ digest[i]);
    return differ == 0;
}

}  // namespace corvid::internet::smtp
