// SPDX-License-Identifier: MIT
#include <corvid/internet/smtp/agent.h>

#include "tests/support/loopback.h"
#include "tests/support/scripted_stream.h"

#include <corvid/internet/environment/startup.h>
#include <corvid/internet/transport/tcp/raw.h>
#include <corvid/rfc822_date.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <deque>
#include <functional>
#include <initializer_list>
#include <optional>
#include <regex>
#include <stdexcept>
#include <thread>
#include <string>
#include <utility>
#include <vector>

namespace {

namespace env = corvid::internet::environment;
namespace smtp = corvid::internet::smtp;
using corvid::internet::address::endpoint;
using corvid::internet::transport::tcp::base;
using corvid::internet::transport::tcp::raw;
using namespace std::string_literals;
using lines = std::vector<std::string>;

const std::string own_name = "Relay.Example";
const std::string hello = "HELO client.example\r\n";
const std::string hello_reply = "250 Relay.Example Hello client.example";
const std::string bye = "221 2.0.0 Relay.Example Bye";
// The envelope of one message, and the commands that give it.
const std::string envelope = "MAIL FROM:<a@x>\r\nRCPT TO:<b@y>\r\nDATA\r\n";
const lines envelope_replies = {"250 2.1.0 OK", "250 2.1.5 OK", "354 Go Ahead"};
std::string taken(std::size_t bytes) { return "250 2.0.0 OK (" + std::to_string(bytes) + " bytes)"; }
std::string syntax_error(const std::string& line) { return "500 5.5.2 Syntax error: \"" + line + "\""; }

// Keeps what the session hands over. A delivered message is recorded as its
// envelope, "from <sender> to <recipient>...", then its text without the
// Received: line, which goes to received. One slot can be made to misbehave:
// "command" for the line NOOP, "sender", "recipient" for <b@y>, "message".
class recording_handler : public smtp::accept_handler {
public:
    bool accept_command(const std::string& line) override {
        return faulty == "command" && line == "NOOP" ? fault() : accept_handler::accept_command(line);
    }
    bool accept_sender(const std::string& address) override {
        return faulty == "sender" ? fault() : accept_handler::accept_sender(address);
    }
    bool accept_recipient(const std::string& address) override {
        return faulty == "recipient" && address == "b@y" ? fault() : accept_handler::accept_recipient(address);
    }
    bool accept_message(const std::vector<std::string>& text) override {
        if (faulty == "message") return fault();
        std::string from = "from <" + sender + "> to";
        for (const std::string& r : recipients) from += " <" + r + ">";
        lines message{from};
        if (!text.empty()) {
            received.push_back(text.front());
            message.insert(message.end(), text.begin() + 1, text.end());
        }
        messages.push_back(message);
        return true;
    }

    std::string faulty;
    std::function<bool()> fault;
    std::vector<lines> messages;
    lines received;
};

// A scripted stream on a real loopback connection: the session reads and
// writes the script, and asks the socket only for the peer's and its own
// address (the Received: line, EHLO without a name). When the pieces run
// out, `then` throws what the receive fails with.
class wired_stream : public corvid::test::scripted_stream {
public:
    wired_stream(std::deque<std::string> script, raw& listener) : scripted_stream(std::move(script)) {
        accept(listener);
    }

    void fill() override {
        if (pieces.empty() && then) then();
        scripted_stream::fill();
    }

    std::function<void()> then;
};

struct transcript {
    lines replies;      // the greeting first
    std::string ended;  // what() of the exception that left serve, empty when it returned
};

lines split_replies(const std::string& output) {
    lines replies;
    for (std::size_t at = 0; at < output.size();) {
        std::size_t end = output.find("\r\n", at);
        if (end == std::string::npos) {
            replies.push_back(output.substr(at) + " [no CR LF]");
            break;
        }
        replies.push_back(output.substr(at, end - at));
        at = end + 2;
    }
    return replies;
}

// listener listens on a free port of host, which address receives.
void listen_on_loopback(raw& listener, endpoint& address, const std::string& host) {
    address = corvid::internet::address::resolve(host, 0).front();
    listener.open(address);
    listener.bind(address);
    listener.listen();
    listener.local_address(address);
}

class smtp_serve : public ::testing::Test {
protected:
    // Serves the client's bytes, one receive per piece.
    transcript run(std::deque<std::string> pieces, smtp::accept_handler& handler, std::function<void()> then = {},
                   const std::string& host = "127.0.0.1") {
        endpoint address;
        raw listener;
        listen_on_loopback(listener, address, host);
        raw client;
        client.open(address);
        client.connect(address);
        wired_stream stream(std::move(pieces), listener);
        stream.then = std::move(then);
        transcript result;
        try {
            smtp::agent(own_name).serve(stream, handler);
        } catch (const std::exception& e) {
            result.ended = e.what();
        }
        result.replies = split_replies(stream.output());
        return result;
    }

    env::startup scope;
};

lines concat(std::initializer_list<lines> parts) {
    lines all;
    for (const lines& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

TEST_F(smtp_serve, exchanges) {
    struct exchange {
        const char* what;
        std::deque<std::string> client;  // one receive each
        lines replies;                   // after the greeting
        std::vector<lines> messages = {};
        unsigned max_size = 0;
        unsigned max_hops = 8;
        bool offer_login = false;
    };
    const std::string hop = "X-Trace: from a BY RELAY.EXAMPLE\r\n";
    auto hops = [&](int n) {
        std::string text;
        for (int i = 0; i < n; ++i) text += hop;
        return text;
    };
    const lines hop_lines(8, "X-Trace: from a BY RELAY.EXAMPLE");
    const lines seven_hops(hop_lines.begin(), hop_lines.end() - 1);
    const std::string envelope_line = "from <a@x> to <b@y>";
    const std::string x396(396, 'x');

    const exchange cases[] = {
        {"verbs in any case, arguments ignored",
         {"noop\r\nVrfy bob\r\nEXPN staff\r\nRSET\r\nNOOP extra words\r\nQUIT now\r\n"},
         {"250 2.0.0 OK", "252 2.0.0 Deferred", "502 5.5.1 Not implemented", "250 2.0.0 Session reset",
          "250 2.0.0 OK", bye}},
        {"HELP",
         {"HELP\r\nQUIT\r\n"},
         {"214-2.0.0 These verbs are implemented:", "214-2.0.0   AUTH DATA EHLO HELO HELP MAIL NOOP RCPT RSET QUIT VRFY",
          "214-2.0.0 Not implemented:", "214 2.0.0   EXPN", bye}},
        // The name goes into the trace line, so only a domain or an address
        // literal is taken; a client that gives none is named by its address.
        {"HELO takes a domain or an address literal, lower case, or none",
         {"HELO  Client.Example  \r\nHELO a b\r\nHELO x ([1.2.3.4]) by y\r\nHELO x\x01y\r\nHELO " +
          std::string(256, 'a') + "\r\nHELO [127.0.0.1]\r\nEHLO [IPv6:::1]\r\nHELO\r\nHELO [1.2.3]\r\nQUIT\r\n"},
         {hello_reply, "501 5.5.4 Invalid domain name (a domain or an address literal, e.g. [192.0.2.7])",
          "501 5.5.4 Invalid domain name (a domain or an address literal, e.g. [192.0.2.7])",
          "501 5.5.4 Invalid domain name (a domain or an address literal, e.g. [192.0.2.7])",
          "501 5.5.4 Invalid domain name (a domain or an address literal, e.g. [192.0.2.7])",
          "250 Relay.Example Hello [127.0.0.1]", "250-Relay.Example Hello [IPv6:::1]", "250-PIPELINING",
          "250-8BITMIME", "250-ENHANCEDSTATUSCODES", "250-SMTPUTF8", "250 HELP",
          "250 Relay.Example Hello [127.0.0.1]",
          "501 5.5.4 Invalid domain name (a domain or an address literal, e.g. [192.0.2.7])", bye}},
        {"EHLO announces the size limit and login",
         {"EHLO c\r\nQUIT\r\n"},
         {"250-Relay.Example Hello c", "250-PIPELINING", "250-8BITMIME", "250-SIZE 1000", "250-AUTH CRAM-MD5",
          "250-ENHANCEDSTATUSCODES", "250-SMTPUTF8", "250 HELP", bye},
         {},
         1000,
         8,
         true},
        // One transaction at a time, in order, and none delivered twice.
        {"the order of a transaction",
         {"MAIL FROM:<a>\r\nRCPT TO:<b>\r\nDATA\r\n" + hello + "DATA\r\nMAIL FROM:<a>\r\nMAIL FROM:<z>\r\n"
          "DATA\r\nRCPT TO:<b>\r\nRSET\r\nRCPT TO:<b>\r\nDATA\r\nMAIL FROM:<a>\r\nRCPT TO:<b>\r\n" + hello +
          "RCPT TO:<b>\r\nQUIT\r\n"},
         {"503 5.5.1 Please identify yourself first (HELO or EHLO)", "503 5.5.1 Need MAIL command first",
          "503 5.5.1 Need MAIL command first", hello_reply, "503 5.5.1 Need MAIL command first", "250 2.1.0 OK",
          "503 5.5.1 Sender already specified", "503 5.5.1 Need recipient before data (RCPT TO:)", "250 2.1.5 OK",
          "250 2.0.0 Session reset", "503 5.5.1 Need MAIL command first", "503 5.5.1 Need MAIL command first",
          "250 2.1.0 OK", "250 2.1.5 OK", hello_reply, "503 5.5.1 Need MAIL command first", bye}},
        {"a delivered envelope is gone: a second DATA delivers nothing",
         {hello + envelope + "one\r\n.\r\nDATA\r\nMAIL FROM:<c@x>\r\nRCPT TO:<d@y>\r\nDATA\r\ntwo\r\n.\r\nQUIT\r\n"},
         concat({{hello_reply}, envelope_replies, {taken(5), "503 5.5.1 Need MAIL command first"}, envelope_replies,
                 {taken(5), bye}}),
         {{envelope_line, "one"}, {"from <c@x> to <d@y>", "two"}}},
        {"a recipient given twice is taken and delivered once",
         {hello + "MAIL FROM:<a@x>\r\nRCPT TO:<Bob>\r\nRCPT TO:<bOB>\r\nDATA\r\nx\r\n.\r\nQUIT\r\n"},
         {hello_reply, "250 2.1.0 OK", "250 2.1.5 OK", "250 2.1.5 OK", "354 Go Ahead", taken(3), bye},
         {{"from <a@x> to <bob>", "x"}}},
        // The keyword is checked before the state is.
        {"wrong keywords and unknown verbs",
         {"MAIL TO:<Alice>\r\nRCPT FROM:<Alice>\r\nFOO\r\n\r\nMAIL\r\nRCPT TO <x>\r\nMAILFROM:<a>\r\nQUIT\r\n"},
         {syntax_error("MAIL TO:<Alice>"), syntax_error("RCPT FROM:<Alice>"), syntax_error("FOO"), syntax_error(""),
          syntax_error("MAIL"), syntax_error("RCPT TO <x>"), syntax_error("MAILFROM:<a>"), bye}},
        // Octets as RFC 1870 counts them: line ends in, quoting dots out.
        {"a message, dot lines unstuffed, its octets counted",
         {hello + envelope + "Subject: x\r\n\r\n..\r\n..x\r\n...\r\n.\r\nQUIT\r\n"},
         concat({{hello_reply}, envelope_replies, {taken(25), bye}}),
         {{envelope_line, "Subject: x", "", ".", ".x", ".."}}},
        {"an empty message",
         {hello + envelope + ".\r\nQUIT\r\n"},
         concat({{hello_reply}, envelope_replies, {taken(0), bye}}),
         {{envelope_line}}},
        // The DATA line's own end counts as the CR LF before the first line.
        {"DATA ended by a bare LF does not open the end of the text",
         {hello + "MAIL FROM:<a@x>\r\nRCPT TO:<b@y>\r\nDATA\n.\r\nx\r\n.\r\nQUIT\r\n"},
         concat({{hello_reply}, envelope_replies, {taken(6), bye}}),
         {{envelope_line, ".", "x"}}},
        // Only CR LF ends a line of the text: bare LF and CR are text.
        {"a text of LF lines ends at CR LF . CR LF",
         {hello + envelope + "one\n.\ntwo\r\rthree\n\r\n.\r\nQUIT\r\n"},
         concat({{hello_reply}, envelope_replies, {taken(19), bye}}),
         {{envelope_line, "one\n.\ntwo\r\rthree\n"}}},
        {"a text line of any length is kept whole",
         {hello + envelope + std::string(5000, 'x') + "\r\n.\r\nQUIT\r\n"},
         concat({{hello_reply}, envelope_replies, {taken(5002), bye}}),
         {{envelope_line, std::string(5000, 'x')}}},
        {"parameters after the paths, addresses lower case",
         {hello + "MAIL FROM:<Alice@X> SIZE=100 BODY=8BITMIME\r\nRCPT TO:<Bob@Y> NOTIFY=NEVER\r\nDATA\r\nx\r\n.\r\n"
                  "MAIL FROM:<a@x> FOO=1\r\nQUIT\r\n"},
         concat({{hello_reply}, envelope_replies, {taken(3), "555 5.5.4 Unsupported parameter: FOO=1", bye}}),
         {{"from <alice@x> to <bob@y>", "x"}}},
        {"UTF-8 addresses need SMTPUTF8",
         {hello + "MAIL FROM:<j\xC3\xB6rg@x>\r\nMAIL FROM:<j\xC3\xB6rg@x> SMTPUTF8\r\nRCPT TO:<\xC3\xA5@y>\r\nQUIT\r\n"},
         {hello_reply, "553 5.6.7 Non-ASCII address requires SMTPUTF8", "250 2.1.0 OK", "250 2.1.5 OK", bye}},
        {"address extraction",
         {hello +
          "MAIL FROM: Carol\r\nRCPT TO: Alice\r\nRCPT TO:Bob\r\nRCPT TO:<Dave\r\nRCPT TO:<\r\nRCPT TO: \r\n"
          "RCPT TO:<a> <Eve> x\r\nDATA\r\nx\r\n.\r\nQUIT\r\n"},
         {hello_reply, "250 2.1.0 OK", "250 2.1.5 OK", "250 2.1.5 OK", "250 2.1.5 OK", "250 2.1.5 OK",
          "250 2.1.5 OK", "250 2.1.5 OK", "354 Go Ahead", taken(3), bye},
         {{"from <carol> to <alice> <dave> <eve> <rcpt to: > <rcpt to:<> <rcpt to:bob>", "x"}}},
        {"exactly the size limit",
         {hello + envelope + "12345\r\n..2345\r\n.\r\nQUIT\r\n"},
         concat({{hello_reply}, envelope_replies, {taken(14), bye}}),
         {{envelope_line, "12345", ".2345"}},
         14},
        {"one octet over the size limit is read to its end, refused, and ends the session",
         {hello + envelope + "12345\r\n123456\r\n.\r\nNOOP\r\n"},
         concat({{hello_reply}, envelope_replies, {"552 5.3.4 Rejected (size limit is 14 bytes)"}}),
         {},
         14},
        {"a declared size over the limit is refused at MAIL",
         {hello + "MAIL FROM:<a@x> SIZE=15\r\nMAIL FROM:<a@x> SIZE=14\r\nQUIT\r\n"},
         {hello_reply, "552 5.3.4 Message size exceeds fixed limit", "250 2.1.0 OK", bye},
         {},
         14},
        {"seven hops",
         {hello + envelope + hops(7) + ".\r\nQUIT\r\n"},
         concat({{hello_reply}, envelope_replies, {taken(7 * hop.size()), bye}}),
         {concat({{envelope_line}, seven_hops})}},
        {"eight hops are a loop and end the session",
         {hello + envelope + hops(8) + ".\r\nNOOP\r\n"},
         concat({{hello_reply}, envelope_replies, {"554 5.4.6 Rejected (loop detected)"}})},
        {"hops after the header are not counted",
         {hello + envelope + hops(7) + "\r\n" + hops(1) + ".\r\nQUIT\r\n"},
         concat({{hello_reply}, envelope_replies, {taken(8 * hop.size() + 2), bye}}),
         {concat({{envelope_line}, seven_hops, {""}, {hop_lines[0]}})}},
        {"no loop check with max_hops 0",
         {hello + envelope + hops(8) + ".\r\nQUIT\r\n"},
         concat({{hello_reply}, envelope_replies, {taken(8 * hop.size()), bye}}),
         {concat({{envelope_line}, hop_lines})},
         0,
         0},
        // The quote stays one short line whatever the client sent.
        {"a quote of 400 bytes is whole",
         {"FOO " + x396 + "\r\nQUIT\r\n"},
         {syntax_error("FOO " + x396), bye}},
        {"a longer quote is cut",
         {"FOO " + x396 + "y\r\nQUIT\r\n"},
         {syntax_error("FOO " + x396 + "..."), bye}},
        {"control bytes in a quote",
         {"FOO\0\t\x1b\x7f\x80\"z\r\nQUIT\r\n"s},
         {syntax_error("FOO\\x00\\x09\\x1b\\x7f\x80\"z"), bye}},
        {"a command line of 512 octets with its CR LF, and one longer",
         {"NOOP" + std::string(506, ' ') + "\r\nFOO ", std::string(600, 'x'), "yyy\r\nNOOP\r\nQUIT\r\n"},
         {"250 2.0.0 OK", "500 5.5.2 Line too long", "250 2.0.0 OK", bye}},
    };
    for (const exchange& c : cases) {
        SCOPED_TRACE(c.what);
        recording_handler handler;
        handler.max_size = c.max_size;
        handler.max_hops = c.max_hops;
        handler.offer_login = c.offer_login;
        transcript t = run(c.client, handler);
        EXPECT_EQ(t.ended, "");
        ASSERT_FALSE(t.replies.empty());
        EXPECT_EQ(t.replies.front(), "220 Relay.Example ESMTP Ready");
        EXPECT_EQ(lines(t.replies.begin() + 1, t.replies.end()), c.replies);
        EXPECT_EQ(handler.messages, c.messages);
    }
}

// Every handler slot that refuses or throws gets its answer, and the session
// goes on. A refused sender opens no transaction, so what follows it is
// refused too; a refused recipient leaves the other one; a message the
// handler cannot take is a transient failure, never a permanent one.
TEST_F(smtp_serve, handler_faults) {
    const std::string client = "HELO c\r\nNOOP\r\nMAIL FROM:<a@x>\r\nRCPT TO:<b@y>\r\nRCPT TO:<c@y>\r\nDATA\r\nx\r\n.\r\nQUIT\r\n";
    const lines normal = {"250 Relay.Example Hello c", "250 2.0.0 OK", "250 2.1.0 OK", "250 2.1.5 OK", "250 2.1.5 OK",
                          "354 Go Ahead", taken(3), bye};
    struct slot {
        const char* name;
        std::size_t reply;  // which reply it changes
        const char* line;   // the command line a syntax error quotes
        const char* refusal;
    };
    const slot slots[] = {
        {"command", 1, "NOOP", "500 5.5.2 Syntax error: \"NOOP\""},
        {"sender", 2, "MAIL FROM:<a@x>", "550 5.7.1 Rejected"},
        {"recipient", 3, "RCPT TO:<b@y>", "550 5.7.1 Rejected"},
        {"message", 6, nullptr, "451 4.3.0 Rejected (local processing)"},
    };
    struct behaviour {
        const char* what;
        std::function<bool()> fault;
        const char* reply;  // null: the slot's failure (a syntax error quoting a command)
    };
    const behaviour behaviours[] = {
        {"returns false", [] { return false; }, ""},
        {"throws std::exception", []() -> bool { throw std::runtime_error("handler"); }, nullptr},
        {"throws refused", []() -> bool { throw smtp::refused("452 Too many recipients"); }, "452 Too many recipients"},
        {"refused with a 5xx code", []() -> bool { throw smtp::refused("554 No"); }, "554 No"},
        {"refused without a code", []() -> bool { throw smtp::refused("Too many"); }, nullptr},
        {"refused with a 2xx code", []() -> bool { throw smtp::refused("250 Fine"); }, nullptr},
        {"refused with a line end", []() -> bool { throw smtp::refused("452 a\r\n250 b"); }, nullptr},
    };
    for (const slot& s : slots) {
        for (const behaviour& b : behaviours) {
            SCOPED_TRACE(std::string(s.name) + " " + b.what);
            recording_handler handler;
            handler.faulty = s.name;
            handler.fault = b.fault;
            lines expected = normal;
            expected[s.reply] = b.reply != nullptr && *b.reply != 0 ? b.reply
                                : b.reply != nullptr || !s.line   ? s.refusal
                                                                  : syntax_error(s.line);
            std::size_t delivered = 1;
            if (std::string(s.name) == "sender") {
                expected = {normal[0], normal[1], expected[2], "503 5.5.1 Need MAIL command first",
                            "503 5.5.1 Need MAIL command first", "503 5.5.1 Need MAIL command first",
                            syntax_error("x"), syntax_error("."), bye};
                delivered = 0;
            }
            if (std::string(s.name) == "message") delivered = 0;
            transcript t = run({client}, handler);
            EXPECT_EQ(t.ended, "");
            ASSERT_FALSE(t.replies.empty());
            EXPECT_EQ(lines(t.replies.begin() + 1, t.replies.end()), expected);
            ASSERT_EQ(handler.messages.size(), delivered);
            if (std::string(s.name) == "recipient" && delivered == 1) {
                EXPECT_EQ(handler.messages[0][0], "from <a@x> to <c@y>");
            }
        }
    }
}

// A handler that knows one user, tim, with the password and secret "secret".
class login_handler : public recording_handler {
public:
    bool accept_login(const std::string& user, const std::string& password) override {
        return user == "tim" && password == "secret";
    }
    std::optional<std::string> login_secret(const std::string& user) override {
        return user == "tim" ? std::optional<std::string>("secret") : std::nullopt;
    }
};

TEST_F(smtp_serve, logins) {
    struct dialogue {
        const char* what;
        std::string client;  // after EHLO c
        lines replies;       // after the EHLO reply
        bool plaintext = true;
        bool required = false;
    };
    const std::string good = "AHRpbQBzZWNyZXQ=", bad = "AHRpbQB3cm9uZw==";  // tim/secret, tim/wrong
    const std::string ok = "235 2.7.0 Authentication successful", refused = "535 5.7.8 Authentication credentials invalid";
    const dialogue dialogues[] = {
        {"PLAIN with an initial response, not inside a transaction, once",
         "MAIL FROM:<a@x>\r\nAUTH PLAIN " + good + "\r\nRSET\r\nAUTH PLAIN " + good + "\r\nAUTH PLAIN " + good + "\r\n",
         {"250 2.1.0 OK", "503 5.5.1 Not during a mail transaction", "250 2.0.0 Session reset", ok,
          "503 5.5.1 Already authenticated"}},
        {"PLAIN after an empty challenge, LOGIN after two", "AUTH plain\r\n" + bad + "\r\nAUTH LOGIN\r\ndGlt\r\nc2VjcmV0\r\nAUTH LOGIN\r\n",
         {"334 ", refused, "334 VXNlcm5hbWU6", "334 UGFzc3dvcmQ6", ok, "503 5.5.1 Already authenticated"}},
        {"cancelled, undecodable, unknown", "AUTH PLAIN\r\n*\r\nAUTH PLAIN !!\r\nAUTH KERBEROS\r\n",
         {"334 ", "501 5.7.0 Authentication cancelled", "501 5.5.2 Cannot decode response",
          "504 5.5.4 Unrecognized authentication type"}},
        {"three failures end the session", "AUTH PLAIN " + bad + "\r\nAUTH PLAIN " + bad + "\r\nAUTH PLAIN " + bad + "\r\nNOOP\r\n",
         {refused, refused, "421 4.7.0 Relay.Example Too many failed logins"}},
        {"PLAIN and LOGIN only in TLS", "AUTH PLAIN " + good + "\r\nAUTH LOGIN\r\n",
         {"538 5.7.11 Encryption required for requested authentication mechanism",
          "538 5.7.11 Encryption required for requested authentication mechanism"}, false},
        {"MAIL waits for a login", "MAIL FROM:<a@x>\r\nAUTH PLAIN " + good + "\r\nMAIL FROM:<a@x>\r\n",
         {"530 5.7.0 Authentication required", ok, "250 2.1.0 OK"}, true, true},
    };
    for (const dialogue& d : dialogues) {
        SCOPED_TRACE(d.what);
        login_handler handler;
        handler.offer_login = true;
        handler.plaintext_login = d.plaintext;
        handler.require_login = d.required;
        transcript t = run({"EHLO c\r\n" + d.client}, handler);
        const auto after = std::find(t.replies.begin(), t.replies.end(), "250 HELP");
        ASSERT_NE(after, t.replies.end()) << testing::PrintToString(t.replies);
        EXPECT_EQ(*(after - 3), d.plaintext ? "250-AUTH CRAM-MD5 PLAIN LOGIN" : "250-AUTH CRAM-MD5");
        EXPECT_EQ(lines(after + 1, t.replies.end()), d.replies);
    }
}

// CRAM-MD5 against the library's own client, which answers the server's
// challenge; a wrong password is refused. The trace line marks the login.
TEST_F(smtp_serve, cram_md5_login_and_trace) {
    for (const char* password : {"secret", "wrong"}) {
        SCOPED_TRACE(password);
        endpoint address;
        raw listener;
        listen_on_loopback(listener, address, "127.0.0.1");
        login_handler handler;
        handler.offer_login = true;
        std::thread server([&] {
            raw stream;
            stream.accept(listener);
            stream.set_receive_timeout(5000);
            try {
                smtp::agent(own_name).serve(stream, handler);
            } catch (const std::exception&) {
            }
        });
        raw client;
        client.open(address);
        client.connect(address);
        client.set_receive_timeout(5000);
        const smtp::agent user("client.example");
        smtp::reply_texts texts;
        user.hello(client, texts);
        const bool in = user.authenticate(client, "tim", password, texts);
        EXPECT_EQ(in, std::string(password) == "secret");
        if (in) user.transact(client, "b@y", "a@x", {"Subject: x", "", "body"});
        else smtp::command(client, "QUIT", texts);
        server.join();
        EXPECT_EQ(handler.received.size(), in ? 1u : 0u);
        if (in) {
            EXPECT_NE(handler.received[0].find(" with ESMTPA; "), std::string::npos) << handler.received[0];
        }
    }
}

TEST_F(smtp_serve, received_line) {
    recording_handler handler;
    const std::int64_t before = std::time(nullptr);
    transcript t = run({"EHLO Client.Example\r\n" + envelope + "Subject: x\r\n\r\nbody\r\n.\r\nQUIT\r\n"}, handler);
    const std::int64_t after = std::time(nullptr);
    EXPECT_EQ(t.ended, "");
    ASSERT_EQ(handler.received.size(), 1u);
    std::smatch m;
    const std::string& line = handler.received[0];
    ASSERT_TRUE(std::regex_match(line, m,
                                 std::regex(R"(Received: from client\.example \(\[127\.0\.0\.1\]\) by Relay\.Example )"
                                            R"(\(\[127\.0\.0\.1\]\) with ESMTP; (.+))")))
        << line;
    bool dated = false;
    for (std::int64_t s = before; s <= after && !dated; ++s) dated = m[1] == corvid::rfc822_date(s);
    EXPECT_TRUE(dated) << m[1];
    EXPECT_EQ(handler.messages, std::vector<lines>({{"from <a@x> to <b@y>", "Subject: x", "", "body"}}));
}

// Over IPv6 both ends are IPv6 address literals, also as the name of a
// client that greets without one.
TEST_F(smtp_serve, ipv6_literals_in_the_greeting_and_the_received_line) {
    CORVID_REQUIRE_IPV6_LOOPBACK();
    recording_handler handler;
    transcript t = run({"EHLO\r\nHELO [IPv6:::1]\r\nEHLO\r\n" + envelope + "\r\nbody\r\n.\r\nQUIT\r\n"}, handler, {},
                       "::1");
    EXPECT_EQ(t.ended, "");
    ASSERT_GE(t.replies.size(), 3u);
    EXPECT_EQ(t.replies[1], "250-Relay.Example Hello [IPv6:::1]");
    EXPECT_EQ(std::count(t.replies.begin(), t.replies.end(), "250 Relay.Example Hello [IPv6:::1]"), 1);
    ASSERT_EQ(handler.received.size(), 1u);
    EXPECT_TRUE(std::regex_match(handler.received[0],
                                 std::regex(R"(Received: from \[IPv6:::1\] \(\[IPv6:::1\]\) by Relay\.Example )"
                                            R"(\(\[IPv6:::1\]\) with ESMTP; .+)")))
        << handler.received[0];
}

// A relay in front that passes bare line ends must not let a sender end the
// text early and have the rest read as a second, forged message. Played in
// one receive and one byte per receive, so that pairs split across receives
// are told apart as well.
TEST_F(smtp_serve, smuggled_message_stays_text) {
    const std::string smuggled = "MAIL FROM:<evil@x>\r\nRCPT TO:<victim@y>\r\nDATA\r\nsmuggled\r\n.\r\n";
    const struct {
        std::string end;
        std::string kept;  // the would-be end as the text keeps it: a dot that starts a line quotes
    } ends[] = {
        {"\n.\n", "\n.\n"},   {"\n.\r\n", "\n.\r\n"}, {"\r.\r", "\r.\r"},
        {"\r\n.\n", "\r\n\n"}, {"\n.\r", "\n.\r"},     {"\r\n\0.\r\n"s, "\r\n\0.\r\n"s},
    };
    for (const auto& [end, kept] : ends) {
        const std::string client = hello + envelope + "first" + end + smuggled + "\r\n.\r\nQUIT\r\n";
        const std::string text = "first" + kept + "MAIL FROM:<evil@x>\r\nRCPT TO:<victim@y>\r\nDATA\r\nsmuggled";
        for (bool bytewise : {false, true}) {
            SCOPED_TRACE(testing::PrintToString(end) + (bytewise ? " byte by byte" : " at once"));
            std::deque<std::string> pieces;
            if (bytewise)
                for (char c : client) pieces.emplace_back(1, c);
            else
                pieces.push_back(client);
            recording_handler handler;
            transcript t = run(pieces, handler);
            EXPECT_EQ(t.ended, "");
            ASSERT_EQ(handler.messages.size(), 1u);
            std::string received;
            for (std::size_t i = 1; i < handler.messages[0].size(); ++i)
                received += (i > 1 ? "\r\n" : "") + handler.messages[0][i];
            EXPECT_EQ(received, text);
            // The empty line and "." after the text are stray commands.
            EXPECT_EQ(lines(t.replies.begin() + 1, t.replies.end()),
                      concat({{hello_reply}, envelope_replies, {taken(text.size() + 2), syntax_error(""), syntax_error("."), bye}}));
        }
    }
}

TEST_F(smtp_serve, transport_failures) {
    struct failure {
        const char* what;
        std::string client;
        std::function<void()> then;
        lines replies;  // after the greeting
        std::string ended;
    };
    auto timed_out = [] { throw base::connection_timed_out("recv() timed out"); };
    auto reset = [] { throw base::connection_reset("recv() failed"); };
    const failure cases[] = {
        {"a time-out between commands is answered",
         "NOOP\r\n",
         timed_out,
         {"250 2.0.0 OK", "421 4.4.2 Relay.Example Timed out"},
         "internet.transport.connection_failed.connection_timed_out[recv() timed out]"},
        {"a time-out in the text is answered",
         hello + envelope + "half",
         timed_out,
         concat({{hello_reply}, envelope_replies, {"421 4.4.2 Relay.Example Timed out"}}),
         "internet.transport.connection_failed.connection_timed_out[recv() timed out]"},
        {"a reset is not",
         hello + envelope + "half\r\n",
         reset,
         concat({{hello_reply}, envelope_replies}),
         "internet.transport.connection_failed.connection_reset[recv() failed]"},
        {"nor a close",
         "NOOP\r\nNO",
         {},
         {"250 2.0.0 OK"},
         "internet.transport.connection_failed.connection_closed[recv() failed]"},
    };
    for (const failure& c : cases) {
        SCOPED_TRACE(c.what);
        recording_handler handler;
        transcript t = run({c.client}, handler, c.then);
        ASSERT_FALSE(t.replies.empty());
        EXPECT_EQ(lines(t.replies.begin() + 1, t.replies.end()), c.replies);
        EXPECT_EQ(t.ended, c.ended);
        EXPECT_TRUE(handler.messages.empty());
    }
}

// Turning a peer away that has already gone is not an error.
TEST(smtp_serve_refuse, reply_and_dropped_peer) {
    corvid::test::scripted_stream stream;
    smtp::agent(own_name).refuse(stream, "busy");
    EXPECT_EQ(stream.output(), "421 Relay.Example ESMTP busy\r\n");

    struct gone : corvid::test::scripted_stream {
        void flush() override { throw connection_reset("send() failed"); }
    } dropped;
    EXPECT_NO_THROW(smtp::agent(own_name).refuse(dropped, "busy"));
}

}  // namespace
