// SPDX-License-Identifier: MIT
#include <corvid/internet/smtp/agent.h>

#include "tests/support/sys_fault.h"
#include "tests/support/throws.h"

#include <corvid/coding/base64.h>

#include <corvid/internet/environment/startup.h>
#include <corvid/internet/transport/tcp/raw.h>
#include <corvid/text.h>

#include <gtest/gtest.h>

#include <poll.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <initializer_list>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

namespace env = corvid::internet::environment;
namespace smtp = corvid::internet::smtp;
using corvid::internet::address::ip4;
using corvid::internet::transport::tcp::raw;
using corvid::test::what_of;
using namespace std::chrono_literals;
using script = std::vector<std::string>;

// How long the server waits for the client at any one point. A client that
// goes quiet where the script expects a line makes its test slow, not stuck.
constexpr int server_patience_ms = 3000;

// One connection on 127.0.0.1, served by a thread that follows a script of
// steps:
//   "S: text"  sends text and CR LF
//   "S~ text"  the same, one byte every 100 ms (a trickling server)
//   "S* text"  sends the line again every 20 ms until the client goes away
//   "C: text"  waits for the client's next line (checked later, with the
//              transcript)
//   "quiet"    fails the transcript if the client speaks within 100 ms
//   "close"    hangs up without reading further
// After the last step it reads until the client closes. Every byte the
// client sent is kept, so that a test compares the exact transcript.
class script_server {
public:
    explicit script_server(script steps) : steps(std::move(steps)) {
        ip4 any("127.0.0.1", 0);
        listener.open(any);
        listener.bind(any);
        listener.listen();
        listener.local_address(address);
        listener.set_receive_timeout(server_patience_ms);  // bounds accept
        worker = std::thread([this] { serve(); });
    }
    ~script_server() {
        if (worker.joinable()) worker.join();
    }
    script_server(const script_server&) = delete;
    script_server& operator=(const script_server&) = delete;

    const ip4& endpoint() const { return address; }

    // Waits for the server to end: every byte the client sent.
    std::string transcript() {
        if (worker.joinable()) worker.join();
        return received;
    }

private:
    void serve() {
        raw peer;
        try {
            peer.accept(listener);
            peer.set_receive_timeout(server_patience_ms);
            std::size_t lines = 0;
            for (const std::string& step : steps) {
                std::string text = step.size() > 3 ? step.substr(3) : "";
                if (step.starts_with("S: ")) {
                    peer.write_line(text, true);
                } else if (step.starts_with("S~ ")) {
                    for (char c : text + "\r\n") {
                        peer.write(std::string_view(&c, 1), true);
                        std::this_thread::sleep_for(100ms);
                    }
                } else if (step.starts_with("S* ")) {
                    for (int i = 0; i < 250; ++i) {  // 5 s at most
                        peer.write_line(text, true);
                        std::this_thread::sleep_for(20ms);
                    }
                } else if (step.starts_with("C: ")) {
                    ++lines;
                    while (std::count(received.begin(), received.end(), '\n') < static_cast<long>(lines))
                        receive(peer);
                } else if (step == "quiet") {
                    std::this_thread::sleep_for(100ms);
                    pollfd wait{peer.socket_handle(), POLLIN, 0};
                    if (::poll(&wait, 1, 0) != 0) received += "(spoke too early)";
                } else if (step == "close") {
                    return;
                }
            }
            for (;;) receive(peer);
        } catch (const corvid::exception&) {
            // The client hung up, or went quiet past the server's patience.
        }
    }

    void receive(raw& peer) {
        char block[4096];
        received.append(block, peer.receive_some(block, sizeof block));
    }

    script steps;
    raw listener;
    ip4 address;
    std::string received;
    std::thread worker;
};

// The bytes the script's "C: " steps expect, in order.
std::string client_lines(const script& steps) {
    std::string all;
    for (const std::string& step : steps)
        if (step.starts_with("C: ")) all += step.substr(3) + "\r\n";
    return all;
}

script join(std::initializer_list<script> parts) {
    script all;
    for (const script& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

// What one call threw ("nothing thrown" if it returned) and what the client
// sent on the way.
struct session {
    std::string thrown;
    std::string sent;
};

session over_send(const script& steps, const std::function<void(const ip4&)>& call) {
    script_server server(steps);
    session s;
    s.thrown = what_of<corvid::exception>([&] { call(server.endpoint()); });
    s.sent = server.transcript();
    return s;
}

// The same on a stream the test connects itself, closed before the
// transcript is taken.
session over_stream(const script& steps, const std::function<void(raw&)>& call) {
    script_server server(steps);
    session s;
    {
        raw stream;
        stream.open(server.endpoint());
        stream.connect(server.endpoint());
        stream.set_receive_timeout(server_patience_ms);
        s.thrown = what_of<corvid::exception>([&] { call(stream); });
    }
    s.sent = server.transcript();
    return s;
}

class smtp_agent : public ::testing::Test {
protected:
    env::startup scope;
    const smtp::agent installer{"installer"};
};

// The pieces of a delivery that goes well.
const script greeting = {"S: 220 mail.example.org ESMTP ready"};
const script ehlo = {"C: EHLO installer", "S: 250-mail.example.org greets installer", "S: 250-SIZE 1000",
                     "S: 250 8BITMIME"};
const script envelope = {"C: MAIL FROM: <>", "S: 250 sender ok", "C: RCPT TO: <support@example.org>",
                         "S: 250 recipient ok"};
const script data = {"C: DATA", "S: 354 go ahead"};
const std::vector<std::string> message = {"Subject: report", "", "..", ".x", "x.", ".", "end"};
const script text = {"C: Subject: report", "C: ", "C: ...", "C: ..x", "C: x.", "C: ..", "C: end", "C: ."};
const script accepted = {"S: 250 queued", "C: QUIT", "S: 221 bye"};

// The delivery that goes well, cut after the client's line `at`, then `rest`.
script cut_after(const std::string& at, const script& rest) {
    script whole = join({greeting, ehlo, envelope, data, text, accepted});
    script steps;
    for (const std::string& step : whole) {
        steps.push_back(step);
        if (step == "C: " + at) break;
    }
    return join({steps, rest});
}

TEST_F(smtp_agent, send_dialogues) {
    struct dialogue {
        std::string name;
        std::string sender;
        script steps;
        std::string thrown;
    };
    std::vector<dialogue> dialogues = {
        {"whole delivery", "", join({greeting, ehlo, envelope, data, text, accepted}), "nothing thrown"},
        {"HELO after 5xx to EHLO, named sender",
         "me@example.org",
         join({greeting,
               {"C: EHLO installer", "S: 502 Not implemented", "C: HELO installer", "S: 250 hello"},
               {"C: MAIL FROM: <me@example.org>", "S: 250 ok", "C: RCPT TO: <support@example.org>", "S: 250 ok"},
               data, text, accepted}),
         "nothing thrown"},
        {"no HELO after 4xx to EHLO", "", join({greeting, {"C: EHLO installer", "S: 421 busy"}}),
         "smtp.temporary_failure[421 busy]"},
        {"HELO refused as well", "",
         join({greeting, {"C: EHLO installer", "S: 500 what", "C: HELO installer", "S: 550 not you"}}),
         "smtp.permanent_failure[550 not you]"},
        {"greeting refused", "", {"S: 554 no service"}, "smtp.permanent_failure[554 no service]"},
        {"250 to DATA", "", join({greeting, ehlo, envelope, {"C: DATA", "S: 250 fine"}}),
         "smtp.protocol_error[Unexpected reply to DATA: 250 fine]"},
        {"greeting not 220", "", {"S: 250 hello"}, "smtp.protocol_error[Unexpected reply to the greeting: 250 hello]"},
        {"close after MAIL", "", cut_after("MAIL FROM: <>", {"close"}), "smtp.temporary_failure[recv() failed]"},
        {"close during QUIT", "", cut_after("QUIT", {"close"}), "smtp.unreliable_delivery[recv() failed]"},
    };
    // Each kind of unwelcome reply at each step of the transaction: only a
    // 2yz reply may mean success.
    const std::pair<const char*, const char*> replies[] = {
        {"451 try later", "smtp.temporary_failure[451 try later]"},
        {"550 no such user", "smtp.permanent_failure[550 no such user]"},
        {"25", "smtp.protocol_error[Bad response: 25]"},
        {"abc queued", "smtp.protocol_error[Bad response: abc queued]"},
        {"199 ok?", "smtp.protocol_error[Unexpected reply to STEP: 199 ok?]"},
        {"354 again", "smtp.protocol_error[Unexpected reply to STEP: 354 again]"},
    };
    const std::pair<const char*, const char*> steps[] = {
        {"MAIL FROM: <>", "MAIL"}, {"RCPT TO: <support@example.org>", "RCPT"}, {".", "the end of the message"}};
    for (auto [at, step] : steps)
        for (auto [reply, thrown] : replies)
            dialogues.push_back({std::string(reply) + " to " + at, "", cut_after(at, {std::string("S: ") + reply}),
                                 corvid::replace_all_copy(thrown, "STEP", step)});
    // After the message was taken, any reply to QUIT still means delivered.
    for (auto [reply, thrown] : replies)
        dialogues.push_back({std::string(reply) + " to QUIT", "", cut_after("QUIT", {std::string("S: ") + reply}),
                             "smtp.unreliable_delivery" +
                                 corvid::replace_all_copy(std::string(thrown).substr(std::string(thrown).find('[')),
                                                          "STEP", "QUIT")});

    for (const dialogue& d : dialogues) {
        SCOPED_TRACE(d.name);
        session s = over_send(d.steps, [&](const ip4& at) {
            installer.send(at, "support@example.org", d.sender, message, 5);
        });
        EXPECT_EQ(s.thrown, d.thrown);
        EXPECT_EQ(s.sent, client_lines(d.steps));
    }
}

// The message as one text goes out exactly as its lines do, also in pieces
// larger than one write, and a lone CR or LF is refused before MAIL.
TEST_F(smtp_agent, transact_with_the_text_sends_what_the_lines_send) {
    std::string whole;
    for (const std::string& line : message) whole += line + "\r\n";
    for (const std::string& body : {whole, whole.substr(0, whole.size() - 2)}) {
        const script steps = join({envelope, data, text, accepted});
        const session s = over_stream(steps, [&](raw& stream) { installer.transact_text(stream, "support@example.org", "", body); });
        EXPECT_EQ(s.thrown, "nothing thrown");
        EXPECT_EQ(s.sent, client_lines(steps));
    }
    std::vector<std::string> many(1500, ".a line of text that makes the message larger than one piece");
    std::string large;
    script large_steps = join({envelope, data});
    for (const std::string& line : many) {
        large += line + "\r\n";
        large_steps.push_back("C: ." + line);
    }
    large_steps = join({large_steps, {"C: ."}, accepted});
    const session s = over_stream(large_steps, [&](raw& stream) { installer.transact_text(stream, "support@example.org", "", large); });
    EXPECT_EQ(s.thrown, "nothing thrown");
    EXPECT_TRUE(s.sent == client_lines(large_steps)) << s.sent.size() << " bytes sent";
    for (const char* bad : {"a\r\nb\nc\r\n", "a\rb", "a\r\n\r"}) {
        const session refused = over_stream({}, [&](raw& stream) { installer.transact_text(stream, "support@example.org", "", bad); });
        EXPECT_EQ(refused.thrown.substr(0, 36), "smtp[CR or LF alone in message line ") << refused.thrown;
        EXPECT_EQ(refused.sent, "");
    }
}

TEST_F(smtp_agent, close_after_the_message_was_taken_is_unreliable_delivery) {
    // The server hangs up before reading QUIT: the client may see the close
    // or a reset, on its send or its receive, but always after the message
    // was accepted.
    script steps = cut_after(".", {"S: 250 queued", "close"});
    std::string name, cause;
    script_server server(steps);
    try {
        installer.send(server.endpoint(), "support@example.org", "", message, 5);
    } catch (const smtp::generic& e) {
        name = e.name();
        // The transport's own failure rides along for callers that ask.
        try {
            std::rethrow_if_nested(e);
        } catch (const corvid::internet::transport::generic& t) {
            cause = t.name();
        }
    }
    EXPECT_EQ(name, "smtp.unreliable_delivery");
    EXPECT_TRUE(cause.starts_with("internet.transport.connection_failed")) << cause;
    EXPECT_EQ(server.transcript(), client_lines(steps));
}

TEST_F(smtp_agent, waits_end_with_the_time_out) {
    const char* timed_out = "internet.transport.connection_failed.connection_timed_out[recv() failed]";
    const char* in_transaction = "smtp.temporary_failure[recv() failed]";
    const std::string slow = "250 every byte of this line takes a tenth of a second";
    struct wait {
        const char* name;
        script steps;
        const char* thrown;
    };
    const wait waits[] = {
        {"silent server", {}, timed_out},
        {"trickled EHLO reply", join({greeting, {"C: EHLO installer", "S~ " + slow}}), timed_out},
        {"trickled MAIL reply", join({greeting, ehlo, {"C: MAIL FROM: <>", "S~ " + slow}}), in_transaction},
        {"no end of one reply to DATA", join({greeting, ehlo, envelope, {"C: DATA", "S* 250-more"}}),
         in_transaction},
        {"silence after the end marker", cut_after(".", {}), "smtp.temporary_failure.outcome_unknown[recv() failed]"},
        {"silence after QUIT", cut_after("QUIT", {}), "smtp.unreliable_delivery[recv() failed]"},
    };
    for (const wait& w : waits) {
        SCOPED_TRACE(w.name);
        auto start = std::chrono::steady_clock::now();
        session s = over_send(w.steps, [&](const ip4& at) {
            installer.send(at, "support@example.org", "", message, 1);
        });
        auto waited = std::chrono::steady_clock::now() - start;
        EXPECT_EQ(s.thrown, w.thrown);
        EXPECT_EQ(s.sent, client_lines(w.steps));
        EXPECT_GE(waited, 900ms);
        EXPECT_LT(waited, 3s);
    }
}

TEST_F(smtp_agent, authenticate_exchanges) {
    const std::string rfc2195_challenge = "334 PDE4OTYuNjk3MTcwOTUyQHBvc3RvZmZpY2UucmVzdG9uLm1jaS5uZXQ+";
    const std::string rfc2195_response = "C: dGltIGI5MTNhNjAyYzdlZGE3YTQ5NWI0ZTZlNzMzNGQzODkw";
    const std::string plain = "C: AUTH PLAIN AHRpbQB0YW5zdGFhZnRhbnN0YWFm";
    const script login = {"C: AUTH LOGIN",         "S: 334 VXNlcm5hbWU6", "C: dGlt",
                          "S: 334 UGFzc3dvcmQ6", "C: dGFuc3RhYWZ0YW5zdGFhZg==", "S: 235 welcome"};
    struct exchange {
        const char* name;
        smtp::reply_texts offered;  // the texts of the EHLO reply
        script steps;
        std::string outcome;  // "accepted", "refused" or what() of the error
        std::string password = "tanstaaftanstaaf";
    };
    const exchange exchanges[] = {
        {"CRAM-MD5",
         {"mail.example.org", "AUTH CRAM-MD5"},
         {"C: AUTH CRAM-MD5", "S: " + rfc2195_challenge, rfc2195_response, "S: 235 welcome"},
         "accepted"},
        {"PLAIN", {"AUTH PLAIN"}, {plain, "S: 235 welcome"}, "accepted"},
        {"LOGIN", {"AUTH LOGIN"}, login, "accepted"},
        {"old style AUTH=", {"AUTH=LOGIN"}, login, "accepted"},
        {"lower case",
         {"auth cram-md5"},
         {"C: AUTH CRAM-MD5", "S: " + rfc2195_challenge, rfc2195_response, "S: 235 welcome"},
         "accepted"},
        {"fixed order whatever the offer",
         {"AUTH PLAIN LOGIN CRAM-MD5"},
         join({{"C: AUTH CRAM-MD5", "S: 300 not this one", plain, "S: 250 nor this"}, login}),
         "accepted"},
        {"250 to the CRAM-MD5 response goes on",
         {"AUTH CRAM-MD5 PLAIN"},
         {"C: AUTH CRAM-MD5", "S: " + rfc2195_challenge, rfc2195_response, "S: 250 hmm", plain, "S: 235 welcome"},
         "accepted"},
        {"next AUTH line", {"AUTH PLAIN", "AUTH=LOGIN"}, join({{plain, "S: 250 no"}, login}), "accepted"},
        {"535 stops everything",
         {"AUTH CRAM-MD5 PLAIN LOGIN", "AUTH=LOGIN"},
         {"C: AUTH CRAM-MD5", "S: " + rfc2195_challenge, rfc2195_response, "S: 535 wrong"},
         "refused"},
        {"no AUTH offered", {"mail.example.org", "SIZE 1000", "AUTHPLAIN", "X-AUTH LOGIN"}, {}, "refused"},
        // The 80-byte key of RFC 2202 case 6, hashed first as RFC 2104 says.
        {"password longer than a block",
         {"AUTH CRAM-MD5"},
         {"C: AUTH CRAM-MD5", "S: 334 VGVzdCBVc2luZyBMYXJnZXIgVGhhbiBCbG9jay1TaXplIEtleSAtIEhhc2ggS2V5IEZpcnN0",
          "C: dGltIDZiMWFiN2ZlNGJkN2JmOGYwYjYyZTZjZTYxYjlkMGNk", "S: 235 welcome"},
         "accepted",
         std::string(80, '\xaa')},
        {"no challenge is cancelled",
         {"AUTH CRAM-MD5 PLAIN"},
         {"C: AUTH CRAM-MD5", "S: 334", "C: *", "S: 501 cancelled"},
         "refused"},
        {"challenge outside base64",
         {"AUTH CRAM-MD5"},
         {"C: AUTH CRAM-MD5", "S: 334 not*base64"},
         "translate.invalid_codeword[Invalid Codeword 0x2A]"},
        {"connection lost",
         {"AUTH PLAIN"},
         {plain, "close"},
         "internet.transport.connection_failed.connection_closed[recv() failed]"},
    };
    for (const exchange& e : exchanges) {
        SCOPED_TRACE(e.name);
        std::string outcome;
        session s = over_stream(e.steps, [&](raw& stream) {
            outcome = installer.authenticate(stream, "tim", e.password, e.offered) ? "accepted" : "refused";
        });
        EXPECT_EQ(s.thrown == "nothing thrown" ? outcome : s.thrown, e.outcome);
        EXPECT_EQ(s.sent, client_lines(e.steps));
    }
}

TEST_F(smtp_agent, line_breaks_in_arguments_are_refused_before_anything_is_sent) {
    const smtp::reply_texts offered = {"AUTH CRAM-MD5 PLAIN LOGIN"};
    const std::vector<std::string> fine = {"Subject: x", "", "text"};
    struct refusal {
        const char* argument;  // the word the error names
        std::function<void(raw&)> call;
    };
    const refusal refusals[] = {
        {"sender", [&](raw& s) { installer.transact(s, "support@example.org", "me@x\r\nRCPT TO: <b@x>", fine); }},
        {"recipient", [&](raw& s) { installer.transact(s, "support@example.org\nDATA", "", fine); }},
        {"line", [&](raw& s) { installer.transact(s, "support@example.org", "", {"a", "b\r\n.\r\nQUIT"}); }},
        {"line", [&](raw& s) { installer.transact(s, "support@example.org", "", {"a\r"}); }},
        {"host name",
         [&](raw& s) {
             smtp::reply_texts texts;
             smtp::agent("installer\r\nMAIL FROM: <>").hello(s, texts);
         }},
        {"user", [&](raw& s) { installer.authenticate(s, "tim\r\nQUIT", "secret", offered); }},
        {"password", [&](raw& s) { installer.authenticate(s, "tim", "secret\n", offered); }},
    };
    for (const refusal& r : refusals) {
        SCOPED_TRACE(r.argument);
        session s = over_stream(greeting, r.call);
        EXPECT_TRUE(s.thrown.starts_with("smtp[")) << s.thrown;
        EXPECT_NE(s.thrown.find(r.argument), std::string::npos) << s.thrown;
        EXPECT_EQ(s.sent, "");
    }
}

}  // namespace

namespace session_tests {

// A session as send(options) runs it: the envelope, the extensions the
// server offers and the login decide what the client says.
TEST_F(smtp_agent, session_dialogues) {
    const auto offering = [](std::initializer_list<std::string> extensions) {
        script steps = {"S: 220 mail.example.org ESMTP", "C: EHLO installer"};
        std::string last = "mail.example.org";
        for (const std::string& e : extensions) {
            steps.push_back("S: 250-" + last);
            last = e;
        }
        steps.push_back("S: 250 " + last);
        return steps;
    };
    const script two = {"C: RCPT TO: <a@example.org>", "C: RCPT TO: <b@example.org>"};
    const script text_sent = {"C: Subject: x", "C: ", "C: text", "C: ."};
    const std::string ascii = "Subject: x\r\n\r\ntext\r\n";
    struct dialogue {
        const char* name;
        std::vector<std::string> recipients;
        std::string text;
        smtp::session_options options;
        script steps;
        std::string outcome;  // the recipients' replies and the final reply, or what() of the error
    };
    smtp::session_options xoauth2, oauthbearer, plain, cram, automatic_plain;
    for (auto* o : {&xoauth2, &oauthbearer, &plain, &cram, &automatic_plain}) {
        o->user = "tim@example.org";
        o->secret = "token,1";
    }
    xoauth2.mechanism = smtp::login_mechanism::xoauth2;
    xoauth2.allow_plaintext_login = true;
    oauthbearer.mechanism = smtp::login_mechanism::oauthbearer;
    oauthbearer.allow_plaintext_login = true;
    oauthbearer.server_name = "mail.example.org";
    plain.mechanism = smtp::login_mechanism::plain;
    const std::string port = "PORT";
    const std::vector<dialogue> dialogues = {
        {"pipelined envelope, one recipient refused",
         {"a@example.org", "b@example.org"}, ascii, {},
         join({offering({"PIPELINING"}), {"C: MAIL FROM: <>"}, two,
               {"S: 250 ok", "S: 550 no such user", "S: 250 ok", "C: DATA", "S: 354 go"}, text_sent,
               accepted}),
         "550 no such user|250 ok|250 queued"},
        {"every recipient refused, one for now",
         {"a@example.org", "b@example.org"}, ascii, {},
         join({offering({}), {"C: MAIL FROM: <>", "S: 250 ok", "C: RCPT TO: <a@example.org>", "S: 550 no",
                              "C: RCPT TO: <b@example.org>", "S: 451 later"}}),
         "smtp.temporary_failure[451 later]"},
        {"refused sender behind a pipelined envelope",
         {"a@example.org"}, ascii, {},
         join({offering({"PIPELINING"}), {"C: MAIL FROM: <>", "C: RCPT TO: <a@example.org>", "S: 550 not you",
                                           "S: 503 no sender"}}),
         "smtp.permanent_failure[550 not you]"},
        {"8-bit text with 8BITMIME",
         {"a@example.org"}, "Subject: x\r\n\r\n\xc3\xa9\r\n", {},
         join({offering({"8BITMIME"}),
               {"C: MAIL FROM: <> BODY=8BITMIME", "S: 250 ok", "C: RCPT TO: <a@example.org>", "S: 250 ok",
                "C: DATA", "S: 354 go", "C: Subject: x", "C: ", "C: \xc3\xa9", "C: ."},
               accepted}),
         "250 ok|250 queued"},
        {"8-bit text without 8BITMIME", {"a@example.org"}, "Subject: x\r\n\r\n\xc3\xa9\r\n", {}, offering({}),
         "smtp[the message holds 8-bit text, and the server does not offer 8BITMIME]"},
        {"UTF-8 address with SMTPUTF8",
         {"j\xc3\xb6rg@example.org"}, ascii, {},
         join({offering({"SMTPUTF8"}),
               {"C: MAIL FROM: <> SMTPUTF8", "S: 250 ok", "C: RCPT TO: <j\xc3\xb6rg@example.org>", "S: 250 ok",
                "C: DATA", "S: 354 go"},
               text_sent, accepted}),
         "250 ok|250 queued"},
        {"UTF-8 address without SMTPUTF8", {"j\xc3\xb6rg@example.org"}, ascii, {}, offering({"8BITMIME"}),
         "smtp[the address j\xc3\xb6rg@example.org is not ASCII, and the server does not offer SMTPUTF8]"},
        {"line over 998 octets", {"a@example.org"}, "Subject: x\r\n\r\n" + std::string(999, 'x') + "\r\n", {}, {},
         "smtp[message line 3 is longer than 998 octets]"},
        {"XOAUTH2",
         {"a@example.org"}, ascii, xoauth2,
         join({offering({"AUTH PLAIN XOAUTH2"}),
               // base64 of "user=tim@example.org^Aauth=Bearer token,1^A^A"
               {"C: AUTH XOAUTH2 dXNlcj10aW1AZXhhbXBsZS5vcmcBYXV0aD1CZWFyZXIgdG9rZW4sMQEB", "S: 235 ok",
                "C: MAIL FROM: <>", "S: 250 ok", "C: RCPT TO: <a@example.org>", "S: 250 ok", "C: DATA",
                "S: 354 go"},
               text_sent, accepted}),
         "250 ok|250 queued"},
        {"OAUTHBEARER refused",
         {"a@example.org"}, ascii, oauthbearer,
         join({offering({"AUTH OAUTHBEARER"}),
               // "n,a=tim@example.org,^Ahost=mail.example.org^Aport=PORT^Aauth=Bearer token,1^A^A"
               {"C: AUTH OAUTHBEARER " + port, "S: 334 eyJzdGF0dXMiOiI0MDEifQ==", "C: AQ==",
                "S: 535 5.7.8 no"}}),
         "smtp.login_failed[535 5.7.8 no]"},
        {"PLAIN without TLS", {"a@example.org"}, ascii, plain, offering({"AUTH PLAIN"}),
         "smtp.login_failed[the connection is not encrypted, and PLAIN would show the password]"},
        {"automatic takes CRAM-MD5 on a plain connection",
         {"a@example.org"}, ascii, cram,
         join({offering({"AUTH PLAIN CRAM-MD5"}), {"C: AUTH CRAM-MD5", "S: 535 no"}}),
         "smtp.login_failed[535 no]"},
    };
    for (const dialogue& d : dialogues) {
        SCOPED_TRACE(d.name);
        script_server server(d.steps);
        script steps = d.steps;
        for (std::string& step : steps) {
            if (step != "C: AUTH OAUTHBEARER PORT") continue;
            const std::string initial = "n,a=tim@example.org,\x01host=mail.example.org\x01port=" +
                                        std::to_string(server.endpoint().port()) +
                                        "\x01" "auth=Bearer token,1\x01\x01";
            step = "C: AUTH OAUTHBEARER " + corvid::coding::base64_encode(initial, true);
        }
        std::string outcome;
        const std::string thrown = what_of<corvid::exception>([&] {
            const smtp::delivery result = installer.send(server.endpoint(), smtp::envelope{"", d.recipients}, d.text,
                                                         d.options);
            for (const auto& r : result.recipients) outcome += r.reply + "|";
            outcome += result.reply;
        });
        EXPECT_EQ(thrown == "nothing thrown" ? outcome : thrown, d.outcome);
        EXPECT_EQ(server.transcript(), client_lines(steps));
    }
}

// The envelope and the text go out in a few writes: the pipelined MAIL and
// RCPTs in one, the text in large pieces.
int counted_sends = 0;
int counted_socket = -1;
ssize_t (*real_send)(int, const void*, std::size_t, int) = nullptr;

TEST_F(smtp_agent, a_large_message_takes_a_few_writes) {
    std::string text = "Subject: many lines\r\n\r\n";
    script steps = join({{"C: MAIL FROM: <>", "C: RCPT TO: <a@example.org>", "C: RCPT TO: <b@example.org>",
                          "S: 250 ok", "S: 250 ok", "S: 250 ok", "C: DATA", "S: 354 go"}});
    for (int i = 0; i < 20000; ++i) text += "line " + std::to_string(i) + "\r\n";
    // The server reads the text as one step; counting its lines one by one
    // would make it slower than the client's time-out.
    steps = join({steps, {"C: " + text.substr(0, text.size() - 2), "C: ."}, accepted});
    corvid::test::sys_guard guard;
    real_send = corvid::platform::sys::calls().send;
    corvid::platform::sys::calls().send = [](int fd, const void* bytes, std::size_t size, int flags) {
        if (fd == counted_socket) ++counted_sends;
        return real_send(fd, bytes, size, flags);
    };
    const session s = over_stream(steps, [&](raw& stream) {
        counted_socket = stream.socket_handle();
        installer.transact(stream, smtp::envelope{"", {"a@example.org", "b@example.org"}}, text,
                           {"mail.example.org", "PIPELINING"});
    });
    EXPECT_EQ(s.thrown, "nothing thrown");
    EXPECT_TRUE(s.sent == client_lines(steps)) << s.sent.size() << " bytes sent";
    EXPECT_GT(counted_sends, 2);
    EXPECT_LT(counted_sends, 40);
}

}  // namespace session_tests
