// SPDX-License-Identifier: MIT
// Plays arbitrary bytes as the server's side of an SMTP session: greeting
// and EHLO, AUTH with the mechanisms the bytes offer, then a mail
// transaction, and a login and a transaction with several recipients after
// it. The first byte steers how the rest is cut into receives and
// which password is used; the client's output is discarded. Library errors
// are expected answers to a bad server; anything else (a crash, a sanitizer
// report, a hang, an escaping std exception) is a finding.

#include <corvid/exception.h>
#include <corvid/internet/smtp/agent.h>
#include "replay_stream.h"

#include <cstddef>
#include <cstdint>
#include <new>
#include <string>
#include <string_view>
#include <vector>

namespace {

namespace smtp = corvid::internet::smtp;

using corvid::fuzz::replay_stream;


template <typename Call>
void quietly(Call&& call) {
    try {
        call();
    } catch (const corvid::exception&) {
    } catch (const std::bad_alloc&) {
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const unsigned steer = data[0];
    replay_stream stream(std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1), steer & 0x3f);

    // A key longer than one block takes the hashed-key path of CRAM-MD5.
    const std::string password = (steer & 0x80) != 0 ? std::string(80, '\xaa') : "tanstaaftanstaaf";
    const std::vector<std::string> lines = {"Subject: fuzz", "", ".", "..x", "text", ""};

    const smtp::agent client("fuzz.example.org");
    smtp::reply_texts texts;
    // Each step runs whatever the one before it ended with, so that a server
    // that fails one exchange still drives the next.
    quietly([&] { client.hello(stream, texts); });
    quietly([&] { static_cast<void>(client.authenticate(stream, "tim", password, texts)); });
    quietly([&] { client.transact(stream, "support@example.org", "", lines); });
    // Again with what the server offered: pipelined envelope, a reply per
    // recipient, a bearer-token login before it.
    smtp::session_options login;
    login.user = "tim";
    login.secret = password;
    login.mechanism = (steer & 0x40) != 0 ? smtp::login_mechanism::oauthbearer : smtp::login_mechanism::automatic;
    login.allow_plaintext_login = true;
    quietly([&] { client.log_in(stream, login, texts, false, 25); });
    quietly([&] {
        static_cast<void>(client.transact(stream, smtp::envelope{"", {"a@example.org", "b@example.org"}},
                                          "Subject: fuzz\r\n\r\n.\r\n\xc3\xa9\r\n", texts));
    });
    return 0;
}
