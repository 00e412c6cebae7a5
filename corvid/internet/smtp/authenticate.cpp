// SPDX-License-Identifier: MIT
#include <corvid/internet/smtp/agent.h>

#include <corvid/coding/base64.h>
#include <corvid/coding/hex.h>
#include <corvid/coding/hmac_md5.h>
#include <corvid/format.h>
#include <corvid/text.h>
#include <corvid/tokens.h>

#include <algorithm>
#include <array>

namespace corvid::internet::smtp {

namespace {

using transport::tcp::base;

// Each mechanism returns the code of the exchange's last reply, 235 when
// the server accepted the login.

// RFC 2195: the response is the user, a space and the hexadecimal HMAC-MD5
// of the challenge keyed with the password (a key longer than one block is
// hashed first, as RFC 2104 says).
int cram_md5(base& stream, const std::string& user, const std::string& password, reply_texts& texts) {
    const int code = command(stream, "AUTH CRAM-MD5", texts);
    if (code != 334) return code;
    if (texts.empty() || texts.front().empty()) {
        // No challenge to answer: cancel the exchange as RFC 4954 says, and
        // try nothing else on a server that behaves so oddly.
        command(stream, "*", texts);
        throw generic("CRAM-MD5 offered no challenge");
    }
    std::string challenge = coding::base64_decode(texts.front(), true);
    std::string response = user + " " + coding::hex_encode(coding::hmac_md5(password, challenge));
    return command(stream, coding::base64_encode(response, true), texts);
}

int plain(base& stream, const std::string& user, const std::string& password, reply_texts& texts) {
    std::string credentials = std::string(1, '\0') + user + '\0' + password;
    return command(stream, "AUTH PLAIN " + coding::base64_encode(credentials, true), texts);
}

int login(base& stream, const std::string& user, const std::string& password, reply_texts& texts) {
    int code = command(stream, "AUTH LOGIN", texts);
    if (code == 334) code = command(stream, coding::base64_encode(user, true), texts);
    if (code == 334) code = command(stream, coding::base64_encode(password, true), texts);
    return code;
}

// A bearer token in the initial response. A refusal comes as a 334 whose
// text holds the server's reasons; the exchange ends with the client's
// cancel answer and a final 5xx reply.
int bearer(base& stream, std::string_view mechanism, const std::string& initial, std::string_view cancel,
           reply_texts& texts) {
    std::string line = "AUTH ";
    line.append(mechanism).append(" ").append(coding::base64_encode(initial, true));
    const int code = command(stream, line, texts);
    return code == 334 ? command(stream, cancel, texts) : code;
}

// RFC 7628's GS2 header names the user with "," and "=" escaped.
std::string sasl_name(const std::string& user) {
    std::string name;
    for (const char c : user) {
        if (c == ',')
            name += "=2C";
        else if (c == '=')
            name += "=3D";
        else
            name += c;
    }
    return name;
}

struct mechanism_name {
    login_mechanism mechanism;
    const char* name;
};
constexpr std::array<mechanism_name, 5> mechanism_names{{{login_mechanism::cram_md5, "CRAM-MD5"},
                                                         {login_mechanism::plain, "PLAIN"},
                                                         {login_mechanism::login, "LOGIN"},
                                                         {login_mechanism::xoauth2, "XOAUTH2"},
                                                         {login_mechanism::oauthbearer, "OAUTHBEARER"}}};

const char* name_of(login_mechanism mechanism) {
    for (const auto& m : mechanism_names)
        if (m.mechanism == mechanism) return m.name;
    return "";
}

// Every mechanism name of the AUTH lines of an EHLO reply, upper case.
std::vector<std::string> offered_mechanisms(const reply_texts& texts) {
    std::vector<std::string> names;
    for (const std::string& text : texts) {
        const std::string upper = to_upper(text);
        if (!starts_with(upper, "AUTH ") && !starts_with(upper, "AUTH=")) continue;
        for (const std::string& name : tokens(std::string_view(upper).substr(5), " ")) names.push_back(name);
    }
    return names;
}

void refuse_line_breaks(const std::string& user, const std::string& secret) {
    // Both travel base64-encoded, but a line break in them is still a caller's
    // mistake worth stopping before anything is sent.
    if (has_line_break(user)) throw generic("CR or LF in user name");
    if (has_line_break(secret)) throw generic("CR or LF in password");
}

}  // namespace

bool agent::authenticate(base& stream, const std::string& user, const std::string& password,
                         const reply_texts& texts) const {
    refuse_line_breaks(user, password);
    reply_texts replies;
    try {
        for (const std::string& text : texts) {
            const std::vector<std::string> names = offered_mechanisms({text});
            // The order is ours, not the server's: the challenge-response
            // mechanism first, since it never sends the password itself.
            const auto offered = [&](std::string_view name) {
                return std::find(names.begin(), names.end(), name) != names.end();
            };
            if (offered("CRAM-MD5") && cram_md5(stream, user, password, replies) == 235) return true;
            if (offered("PLAIN") && plain(stream, user, password, replies) == 235) return true;
            if (offered("LOGIN") && login(stream, user, password, replies) == 235) return true;
        }
    } catch (const generic&) {
        return false;
    }
    return false;
}

void agent::log_in(base& stream, const session_options& options, const reply_texts& offered, bool encrypted,
                   int port) const {
    refuse_line_breaks(options.user, options.secret);
    const std::vector<std::string> names = offered_mechanisms(offered);
    const auto is_offered = [&](login_mechanism m) {
        return std::find(names.begin(), names.end(), name_of(m)) != names.end();
    };
    login_mechanism chosen = options.mechanism;
    if (chosen == login_mechanism::automatic) {
        const login_mechanism order[] = {login_mechanism::cram_md5, login_mechanism::plain, login_mechanism::login};
        const auto first = std::find_if(std::begin(order), std::end(order), is_offered);
        if (first == std::end(order)) throw login_failed("the server offers none of CRAM-MD5, PLAIN, LOGIN");
        chosen = *first;
    } else if (!is_offered(chosen)) {
        throw login_failed(std::string("the server does not offer ") + name_of(chosen));
    }
    // Anyone on the path could read the password or the token; CRAM-MD5
    // sends neither.
    if (chosen != login_mechanism::cram_md5 && !encrypted && !options.allow_plaintext_login)
        throw login_failed(std::string("the connection is not encrypted, and ") + name_of(chosen) + " would show the " +
                           (chosen == login_mechanism::plain || chosen == login_mechanism::login ? "password"
                                                                                                  : "token"));
    const std::string& user = options.user;
    const std::string& secret = options.secret;
    reply_texts texts;
    try {
        int code = 0;
        switch (chosen) {
            case login_mechanism::cram_md5: code = cram_md5(stream, user, secret, texts); break;
            case login_mechanism::plain: code = plain(stream, user, secret, texts); break;
            case login_mechanism::login: code = login(stream, user, secret, texts); break;
            case login_mechanism::xoauth2:
                code = bearer(stream, "XOAUTH2", "user=" + user + "\x01" + "auth=Bearer " + secret + "\x01\x01", "",
                              texts);
                break;
            case login_mechanism::oauthbearer: {
                std::string initial = "n,a=" + sasl_name(user) + ",\x01";
                if (!options.server_name.empty()) initial += "host=" + options.server_name + "\x01";
                if (port > 0) initial += "port=" + std::to_string(port) + "\x01";
                initial += "auth=Bearer " + secret + "\x01\x01";
                // The cancel answer is a lone ^A, base64-encoded.
                code = bearer(stream, "OAUTHBEARER", initial, "AQ==", texts);
                break;
            }
            case login_mechanism::automatic: break;
        }
        expect_code(code, 235, 235, "AUTH", texts);
    } catch (const temporary_failure& e) {
        std::throw_with_nested(login_failed(e.message()));
    } catch (const permanent_failure& e) {
        std::throw_with_nested(login_failed(e.message()));
    }
}

}  // namespace corvid::internet::smtp
