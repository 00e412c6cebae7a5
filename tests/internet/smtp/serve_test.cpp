#include <corvid/internet/smtp/agent.h>

#include "tests/support/scripted_stream.h"

#include <corvid/internet/environment/startup.h>
#include <corvid/internet/transport/tcp/raw.h>
#include <corvid/rfc822_date.h>

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <deque>
#include <functional>
#include <initializer_list>
#include <regex>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace {

namespace env = corvid::internet::environment;
namespace smtp = corvid::internet::smtp;
using corvid::internet::address::ip4;
using corvid::internet::transport::tcp::base;
using corvid::internet::transport::tcp::raw;
using namespace std::string_literals;
using lines = std::vector<std::string>;

const std::string own_name = "Relay.Example";
const std::string hello = "HELO client.example\r\n";
const std::string hello_reply = "250 Relay.Example Hello client.example";
const std::string bye = "221 Relay.Example Bye";
// The envelope of one message, and the commands that give it.
const std::string envelope = "MAIL FROM:<a@x>\r\nRCPT TO:<b@y>\r\nDATA\r\n";
const lines envelope_replies = {"250 OK", "250 OK", "354 Go Ahead"};

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

class smtp_serve : public ::testing::Test {
protected:
    // Serves the client's bytes, one receive per piece.
    transcript run(std::deque<std::string> pieces, smtp::accept_handler& handler, std::size_t max_line = 0,
                   std::function<void()> then = {}) {
        ip4 address("127.0.0.1", 0);
        raw listener;
        listener.open(address);
        listener.bind(address);
        listener.listen();
        listener.local_address(address);
        raw client;
        client.open(address);
        client.connect(address);
        wired_stream stream(std::move(pieces), listener);
        if (max_line != 0) stream.set_max_line_length(max_line);
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
        std::size_t max_line = 0;
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
         {"250 OK", "252 Deferred", "502 Not implemented", "250 Session reset", "250 OK", bye}},
        {"HELP",
         {"HELP\r\nQUIT\r\n"},
         {"214-These verbs are implemented:", "214-  DATA EHLO HELO HELP MAIL NOOP RCPT RSET QUIT VRFY",
          "214-Not implemented:", "214   EXPN", bye}},
        {"HELO keeps the rest of the line, lower case",
         {"HELO  Client.Example  Extra \r\nQUIT\r\n"},
         {"250 Relay.Example Hello client.example  extra ", bye}},
        {"EHLO without a size limit",
         {"EHLO c\r\nQUIT\r\n"},
         {"250-Relay.Example Hello c", "250-PIPELINING", "250-8BITMIME", "250 HELP", bye}},
        {"EHLO announces the size limit",
         {"EHLO c\r\nQUIT\r\n"},
         {"250-Relay.Example Hello c", "250-PIPELINING", "250-8BITMIME", "250-SIZE 1000", "250 HELP", bye},
         {},
         1000},
        {"a greeting without a name names the peer by address",
         {"EHLO   \r\nHELO\r\nQUIT\r\n"},
         {"250-Relay.Example Hello 127.0.0.1", "250-PIPELINING", "250-8BITMIME", "250 HELP",
          "250 Relay.Example Hello 127.0.0.1", bye}},
        {"MAIL needs a greeting first, RCPT does not",
         {"MAIL FROM:<Alice>\r\nRCPT TO:<Bob>\r\nQUIT\r\n"},
         {"503 Please identify yourself first (HELO or EHLO)", "250 OK", bye}},
        {"a recipient given twice, in any case",
         {hello + "RCPT TO:<Bob>\r\nRCPT TO:<bOB>\r\nQUIT\r\n"},
         {hello_reply, "250 OK", "550 Rejected", bye}},
        // The keyword is checked before the greeting is.
        {"wrong keywords and unknown verbs",
         {"MAIL TO:<Alice>\r\nRCPT FROM:<Alice>\r\nFOO\r\n\r\nMAIL\r\nRCPT TO <x>\r\nMAILFROM:<a>\r\nQUIT\r\n"},
         {"500 Syntax error: \"MAIL TO:<Alice>\"", "500 Syntax error: \"RCPT FROM:<Alice>\"",
          "500 Syntax error: \"FOO\"", "500 Syntax error: \"\"", "500 Syntax error: \"MAIL\"",
          "500 Syntax error: \"RCPT TO <x>\"", "500 Syntax error: \"MAILFROM:<a>\"", bye}},
        {"RSET, a greeting and MAIL each drop the recipients",
         {"RCPT TO:<b>\r\nRSET\r\nDATA\r\nRCPT TO:<b>\r\nHELO c\r\nDATA\r\nRCPT TO:<b>\r\nMAIL FROM:<a>\r\n"
          "DATA\r\nQUIT\r\n"},
         {"250 OK", "250 Session reset", "503 Need recipient before data (RCPT TO:)", "250 OK",
          "250 Relay.Example Hello c", "503 Need recipient before data (RCPT TO:)", "250 OK", "250 OK",
          "503 Need recipient before data (RCPT TO:)", bye}},
        {"a message, dot lines unstuffed, its bytes counted after unstuffing",
         {hello + envelope + "Subject: x\r\n\r\n..\r\n..x\r\n...\r\n.\r\nQUIT\r\n"},
         concat({{hello_reply}, envelope_replies, {"250 OK (15 bytes)", bye}}),
         {{envelope_line, "Subject: x", "", ".", ".x", ".."}}},
        {"an empty message",
         {hello + envelope + ".\r\nQUIT\r\n"},
         concat({{hello_reply}, envelope_replies, {"250 OK (0 bytes)", bye}}),
         {{envelope_line}}},
        // The DATA line's own end counts as the CR LF before the first line.
        {"DATA ended by a bare LF does not open the end of the text",
         {hello + "MAIL FROM:<a@x>\r\nRCPT TO:<b@y>\r\nDATA\n.\r\nx\r\n.\r\nQUIT\r\n"},
         concat({{hello_reply}, envelope_replies, {"250 OK (2 bytes)", bye}}),
         {{envelope_line, ".", "x"}}},
        {"parameters after the paths, addresses lower case",
         {hello + "MAIL FROM:<Alice@X> SIZE=100\r\nRCPT TO:<Bob@Y> NOTIFY=NEVER\r\nDATA\r\nx\r\n.\r\nQUIT\r\n"},
         concat({{hello_reply}, envelope_replies, {"250 OK (1 bytes)", bye}}),
         {{"from <alice@x> to <bob@y>", "x"}}},
        {"address extraction",
         {hello +
          "MAIL FROM: Carol\r\nRCPT TO: Alice\r\nRCPT TO:Bob\r\nRCPT TO:<Dave\r\nRCPT TO:<\r\nRCPT TO: \r\n"
          "RCPT TO:<a> <Eve> x\r\nDATA\r\nx\r\n.\r\nQUIT\r\n"},
         {hello_reply, "250 OK", "250 OK", "250 OK", "250 OK", "250 OK", "250 OK", "250 OK", "354 Go Ahead",
          "250 OK (1 bytes)", bye},
         {{"from <carol> to <alice> <dave> <eve> <rcpt to: > <rcpt to:<> <rcpt to:bob>", "x"}}},
        {"a new message without RSET, its envelope from its own MAIL",
         {hello + envelope + "one\r\n.\r\nMAIL FROM:<c@x>\r\nRCPT TO:<d@y>\r\nDATA\r\ntwo\r\n.\r\nQUIT\r\n"},
         concat({{hello_reply}, envelope_replies, {"250 OK (3 bytes)"}, envelope_replies, {"250 OK (3 bytes)", bye}}),
         {{envelope_line, "one"}, {"from <c@x> to <d@y>", "two"}}},
        {"exactly the size limit",
         {hello + envelope + "12345\r\n..2345\r\n.\r\nQUIT\r\n"},
         concat({{hello_reply}, envelope_replies, {"250 OK (10 bytes)", bye}}),
         {{envelope_line, "12345", ".2345"}},
         10},
        {"one byte over the size limit ends the session",
         {hello + envelope + "12345\r\n123456\r\n.\r\nNOOP\r\n"},
         concat({{hello_reply}, envelope_replies, {"552 Rejected (size limit is 10 bytes)"}}),
         {},
         10},
        {"seven hops",
         {hello + envelope + hops(7) + ".\r\nQUIT\r\n"},
         concat({{hello_reply}, envelope_replies, {"250 OK (224 bytes)", bye}}),
         {concat({{envelope_line}, seven_hops})}},
        {"eight hops are a loop and end the session",
         {hello + envelope + hops(8) + ".\r\nNOOP\r\n"},
         concat({{hello_reply}, envelope_replies, {"554 Rejected (loop detected)"}})},
        {"hops after the header are not counted",
         {hello + envelope + hops(7) + "\r\n" + hops(1) + ".\r\nQUIT\r\n"},
         concat({{hello_reply}, envelope_replies, {"250 OK (256 bytes)", bye}}),
         {concat({{envelope_line}, seven_hops, {""}, {hop_lines[0]}})}},
        {"no loop check with max_hops 0",
         {hello + envelope + hops(8) + ".\r\nQUIT\r\n"},
         concat({{hello_reply}, envelope_replies, {"250 OK (256 bytes)", bye}}),
         {concat({{envelope_line}, hop_lines})},
         0,
         0},
        // The quote stays one short line whatever the client sent.
        {"a quote of 400 bytes is whole",
         {"FOO " + x396 + "\r\nQUIT\r\n"},
         {"500 Syntax error: \"FOO " + x396 + "\"", bye}},
        {"a longer quote is cut",
         {"FOO " + x396 + "y\r\nQUIT\r\n"},
         {"500 Syntax error: \"FOO " + x396 + "...\"", bye}},
        {"control bytes in a quote",
         {"FOO\0\t\x1b\x7f\x80\"z\r\nQUIT\r\n"s},
         {"500 Syntax error: \"FOO????\x80\"z\"", bye}},
        {"a command line over the limit",
         {"NOOP\r\nFOO ", std::string(40, 'x'), "yyy\r\nNOOP\r\nQUIT\r\n"},
         {"250 OK", "500 Line too long", "250 OK", bye},
         {},
         0,
         8,
         16},
        {"a message line over the limit",
         {hello + envelope + "short\r\n", std::string(40, 'x'), "\r\nmore\r\n.\r\nNOOP\r\nQUIT\r\n"},
         concat({{hello_reply}, envelope_replies, {"500 Line too long", "250 OK", bye}}),
         {},
         0,
         8,
         16},
    };
    for (const exchange& c : cases) {
        SCOPED_TRACE(c.what);
        recording_handler handler;
        handler.max_size = c.max_size;
        handler.max_hops = c.max_hops;
        transcript t = run(c.client, handler, c.max_line);
        EXPECT_EQ(t.ended, "");
        ASSERT_FALSE(t.replies.empty());
        EXPECT_EQ(t.replies.front(), "220 Relay.Example ESMTP Ready");
        EXPECT_EQ(lines(t.replies.begin() + 1, t.replies.end()), c.replies);
        EXPECT_EQ(handler.messages, c.messages);
    }
}

// Every handler slot that refuses or throws gets its answer, and the session
// goes on to deliver the message.
TEST_F(smtp_serve, handler_faults) {
    const std::string client = "HELO c\r\nNOOP\r\nMAIL FROM:<a@x>\r\nRCPT TO:<b@y>\r\nRCPT TO:<c@y>\r\nDATA\r\nx\r\n.\r\nQUIT\r\n";
    const lines normal = {"250 Relay.Example Hello c", "250 OK", "250 OK", "250 OK", "250 OK", "354 Go Ahead",
                          "250 OK (1 bytes)", "221 Relay.Example Bye"};
    struct slot {
        const char* name;
        std::size_t reply;  // which reply it changes
        const char* line;   // the command line a syntax error quotes
        const char* refusal;
    };
    const slot slots[] = {
        {"command", 1, "NOOP", "500 Syntax error: \"NOOP\""},
        {"sender", 2, "MAIL FROM:<a@x>", "550 Rejected"},
        {"recipient", 3, "RCPT TO:<b@y>", "550 Rejected"},
        {"message", 6, "DATA", "451 Rejected (local processing)"},
    };
    struct behaviour {
        const char* what;
        std::function<bool()> fault;
        const char* reply;  // null: a syntax error quoting the line
    };
    const behaviour behaviours[] = {
        {"returns false", [] { return false; }, ""},
        {"throws std::exception", []() -> bool { throw std::runtime_error("handler"); }, nullptr},
        {"throws refused", []() -> bool { throw smtp::refused("452 Too many recipients"); }, "452 Too many recipients"},
        {"refused with a 5xx code", []() -> bool { throw smtp::refused("554 No"); }, "554 No"},
        {"refused without a code", []() -> bool { throw smtp::refused("Too many"); }, nullptr},
        {"refused with a 2xx code", []() -> bool { throw smtp::refused("250 Fine"); }, nullptr},
        {"refused with a short code", []() -> bool { throw smtp::refused("45 x"); }, nullptr},
        {"refused with a line end", []() -> bool { throw smtp::refused("452 a\r\n250 b"); }, nullptr},
        {"refused with a bare LF", []() -> bool { throw smtp::refused("452 a\n250 b"); }, nullptr},
    };
    for (const slot& s : slots) {
        for (const behaviour& b : behaviours) {
            SCOPED_TRACE(std::string(s.name) + " " + b.what);
            recording_handler handler;
            handler.faulty = s.name;
            handler.fault = b.fault;
            lines expected = normal;
            expected[s.reply] = b.reply == nullptr ? "500 Syntax error: \""s + s.line + "\""
                                : *b.reply == 0    ? s.refusal
                                                   : b.reply;
            transcript t = run({client}, handler);
            EXPECT_EQ(t.ended, "");
            ASSERT_FALSE(t.replies.empty());
            EXPECT_EQ(lines(t.replies.begin() + 1, t.replies.end()), expected);
            EXPECT_EQ(handler.messages.size(), std::string(s.name) == "message" ? 0u : 1u);
        }
    }
}

TEST_F(smtp_serve, received_line) {
    recording_handler handler;
    const std::int64_t before = std::time(nullptr);
    transcript t = run({"EHLO\r\n" + envelope + "Subject: x\r\n\r\nbody\r\n.\r\nQUIT\r\n"}, handler);
    const std::int64_t after = std::time(nullptr);
    EXPECT_EQ(t.ended, "");
    ASSERT_EQ(handler.received.size(), 1u);
    std::smatch m;
    const std::string& line = handler.received[0];
    ASSERT_TRUE(std::regex_match(line, m,
                                 std::regex(R"(Received: from 127\.0\.0\.1 \[127\.0\.0\.1\] by Relay\.Example )"
                                            R"(\[127\.0\.0\.1\] with ESMTP; (.+))")))
        << line;
    bool dated = false;
    for (std::int64_t s = before; s <= after && !dated; ++s) dated = m[1] == corvid::rfc822_date(s);
    EXPECT_TRUE(dated) << m[1];
    EXPECT_EQ(handler.messages, std::vector<lines>({{"from <a@x> to <b@y>", "Subject: x", "", "body"}}));
}

// A relay in front that passes bare line ends must not let a sender end the
// text early and have the rest read as a second, forged message. Played in
// one receive and one byte per receive, so that pairs split across receives
// are told apart as well.
TEST_F(smtp_serve, smuggled_message_stays_text) {
    const std::string smuggled = "MAIL FROM:<evil@x>\r\nRCPT TO:<victim@y>\r\nDATA\r\nsmuggled\r\n.\r\n";
    const struct {
        std::string end;
        std::string kept;  // the would-be end line as the text keeps it
    } ends[] = {
        {"\n.\n", "."}, {"\n.\r\n", "."}, {"\r.\r", "."}, {"\r\n.\n", "."}, {"\n.\r", "."}, {"\r\n\0.\r\n"s, "\0."s},
    };
    for (const auto& [end, kept] : ends) {
        const std::string client = hello + envelope + "first" + end + smuggled + "\r\n.\r\nQUIT\r\n";
        const lines text = {"first", kept, "MAIL FROM:<evil@x>", "RCPT TO:<victim@y>", "DATA", "smuggled"};
        std::size_t bytes = 0;
        for (const std::string& l : text) bytes += l.size();
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
            EXPECT_EQ(lines(handler.messages[0].begin() + 1, handler.messages[0].end()), text);
            // The empty line and "." after the text are stray commands.
            EXPECT_EQ(lines(t.replies.begin() + 1, t.replies.end()),
                      concat({{hello_reply},
                              envelope_replies,
                              {"250 OK (" + std::to_string(bytes) + " bytes)", "500 Syntax error: \"\"",
                               "500 Syntax error: \".\"", bye}}));
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
         {"250 OK", "221 Relay.Example Timed out"},
         "internet.transport.connection_failed.connection_timed_out[recv() timed out]"},
        {"a time-out in the text is answered",
         hello + envelope + "half",
         timed_out,
         concat({{hello_reply}, envelope_replies, {"221 Relay.Example Timed out"}}),
         "internet.transport.connection_failed.connection_timed_out[recv() timed out]"},
        {"a reset is not",
         hello + envelope + "half\r\n",
         reset,
         concat({{hello_reply}, envelope_replies}),
         "internet.transport.connection_failed.connection_reset[recv() failed]"},
        {"nor a close",
         "NOOP\r\nNO",
         {},
         {"250 OK"},
         "internet.transport.connection_failed.connection_closed[recv() failed]"},
    };
    for (const failure& c : cases) {
        SCOPED_TRACE(c.what);
        recording_handler handler;
        transcript t = run({c.client}, handler, 0, c.then);
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
