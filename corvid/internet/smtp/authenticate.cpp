#include <corvid/internet/smtp/agent.h>

#include <corvid/coding/base64.h>
#include <corvid/coding/hex.h>
#include <corvid/coding/hmac_md5.h>
#include <corvid/format.h>
#include <corvid/text.h>
#include <corvid/tokens.h>

namespace corvid::internet::smtp {

namespace {

using transport::tcp::base;

// RFC 2195: the response is the user, a space and the hexadecimal HMAC-MD5
// of the challenge keyed with the password (a key longer than one block is
// hashed first, as RFC 2104 says).
bool cram_md5(base& stream, const std::string& user, const std::string& password) {
    reply_texts texts;
    if (command(stream, "AUTH CRAM-MD5", texts) != 334) return false;
    if (texts.empty() || texts.front().empty()) {
        // No challenge to answer: cancel the exchange as RFC 4954 says, and
        // try nothing else on a server that behaves so oddly.
        command(stream, "*", texts);
        throw generic("CRAM-MD5 offered no challenge");
    }
    std::string challenge = coding::base64_decode(texts.front(), true);
    std::string response = user + " " + coding::hex_encode(coding::hmac_md5(password, challenge));
    return command(stream, coding::base64_encode(response, true), texts) == 235;
}

bool plain(base& stream, const std::string& user, const std::string& password) {
    reply_texts texts;
    std::string credentials = std::string(1, '\0') + user + '\0' + password;
    return command(stream, "AUTH PLAIN " + coding::base64_encode(credentials, true), texts) == 235;
}

bool login(base& stream, const std::string& user, const std::string& password) {
    reply_texts texts;
    return command(stream, "AUTH LOGIN", texts) == 334 &&
           command(stream, coding::base64_encode(user, true), texts) == 334 &&
           command(stream, coding::base64_encode(password, true), texts) == 235;
}

}  // namespace

bool agent::authenticate(base& stream, const std::string& user, const std::string& password,
                         const reply_texts& texts) const {
    // Both travel base64-encoded, but a line break in them is still a caller's
    // mistake worth stopping before anything is sent.
    if (has_line_break(user)) throw generic("CR or LF in user name");
    if (has_line_break(password)) throw generic("CR or LF in password");
    try {
        for (const std::string& text : texts) {
            std::string upper = to_upper(text);
            if (!starts_with(upper, "AUTH ") && !starts_with(upper, "AUTH=")) continue;
            tokens names(std::string_view(upper).substr(5), " ");
            // The order is ours, not the server's: the challenge-response
            // mechanism first, since it never sends the password itself.
            auto offered = [&](std::string_view name) {
                for (const std::string& n : names)
                    if (n == name) return true;
                return false;
            };
            if (offered("CRAM-MD5") && cram_md5(stream, user, password)) return true;
            if (offered("PLAIN") && plain(stream, user, password)) return true;
            if (offered("LOGIN") && login(stream, user, password)) return true;
        }
    } catch (const generic&) {
        return false;
    }
    return false;
}

}  // namespace corvid::internet::smtp
