// SPDX-License-Identifier: MIT
#include <corvid/internet/smtp/agent.h>

#include "tests/support/loopback.h"
#include "tests/support/test_certs.h"

#include <corvid/internet/environment/startup.h>

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>

namespace {

namespace smtp = corvid::internet::smtp;
namespace tcp = corvid::internet::transport::tcp;
using corvid::test::tcp_pair;
using corvid::test::test_certs;

tcp::tls_context server_context() {
    return tcp::tls_context::server(test_certs() + "/server.pem", test_certs() + "/server.key");
}
tcp::tls_context client_context() { return tcp::tls_context::client(test_certs() + "/ca.pem"); }

// Keeps the last message a session delivered.
struct keeping_handler : smtp::accept_handler {
    bool accept_message(const std::vector<std::string>& lines) override {
        kept = lines;
        return true;
    }
    std::vector<std::string> kept;
};

class smtp_starttls : public ::testing::Test {
protected:
    // Runs our server session on pair.server in a thread; "ended" or what
    // ended it.
    std::future<std::string> serve(const tcp::tls_context* tls) {
        return std::async(std::launch::async, [this, tls] {
            try {
                if (tls)
                    server_agent.serve(pair.server, handler, *tls);
                else
                    server_agent.serve(pair.server, handler);
                return std::string("ended");
            } catch (const std::exception& e) {
                return std::string(e.what());
            }
        });
    }

    corvid::internet::environment::startup scope;
    tcp_pair pair;
    smtp::agent server_agent{"mx.test"};
    smtp::agent client_agent{"client.test"};
    keeping_handler handler;
    smtp::reply_texts texts;
};

TEST_F(smtp_starttls, our_client_delivers_to_our_server_over_tls) {
    const auto server_tls = server_context();
    auto session = serve(&server_tls);
    client_agent.hello(pair.client, texts);
    ASSERT_TRUE(smtp::agent::offers(texts, "starttls"));
    const auto secured = client_agent.starttls(pair.client, client_context(), "127.0.0.1", texts);
    ASSERT_NE(secured, nullptr);
    EXPECT_FALSE(smtp::agent::offers(texts, "STARTTLS"));  // not offered twice
    client_agent.transact(*secured, "b@y", "a@x", {"Subject: over TLS", "", "secret"});
    EXPECT_EQ(session.get(), "ended");
    ASSERT_EQ(handler.kept.size(), 4u);
    EXPECT_NE(handler.kept[0].find(" with ESMTPS; "), std::string::npos) << handler.kept[0];
    EXPECT_EQ(handler.kept[3], "secret");
}

TEST_F(smtp_starttls, without_a_context_nothing_changes) {
    auto session = serve(nullptr);
    client_agent.hello(pair.client, texts);
    EXPECT_FALSE(smtp::agent::offers(texts, "STARTTLS"));
    EXPECT_EQ(client_agent.starttls(pair.client, client_context(), "127.0.0.1", texts), nullptr);
    smtp::reply_texts reply;
    EXPECT_THROW(smtp::command(pair.client, "STARTTLS", reply), smtp::permanent_failure);
    EXPECT_EQ(reply.back(), "5.5.2 Syntax error: \"STARTTLS\"");
    smtp::command(pair.client, "QUIT", reply);
    EXPECT_EQ(session.get(), "ended");
}

// A server, or someone on the path, that sends a reply behind the 220 in
// the same packet: the client must take it for nothing.
TEST_F(smtp_starttls, client_drops_what_came_after_the_220) {
    auto peer = std::async(std::launch::async, [this] {
        std::string line;
        pair.server.write_line("220 mx.test ESMTP", true);
        pair.server.read_line(line);
        pair.server.write("250-mx.test\r\n250 STARTTLS\r\n", true);
        pair.server.read_line(line);
        pair.server.write("220 Go ahead\r\n250-injected\r\n250 AUTH PLAIN\r\n", true);
        tcp::tls secured(pair.server, server_context());
        secured.read_line(line);
        secured.write_line("250 mx.test real", true);
        return line;
    });
    client_agent.hello(pair.client, texts);
    const auto secured = client_agent.starttls(pair.client, client_context(), "localhost", texts);
    EXPECT_EQ(peer.get(), "EHLO client.test");
    EXPECT_EQ(texts, smtp::reply_texts{"mx.test real"});
}

// Inside TLS a server that stops answering still runs into the time-out.
TEST_F(smtp_starttls, reply_time_out_holds_through_tls) {
    std::promise<void> done;
    auto peer = std::async(std::launch::async, [this, finished = done.get_future()]() mutable {
        std::string line;
        pair.server.write("220 mx.test ESMTP\r\n", true);
        pair.server.read_line(line);
        pair.server.write("250-mx.test\r\n250 STARTTLS\r\n", true);
        pair.server.read_line(line);
        pair.server.write("220 Go ahead\r\n", true);
        tcp::tls secured(pair.server, server_context());
        finished.wait();  // says nothing more
    });
    pair.client.set_receive_timeout(300);
    client_agent.hello(pair.client, texts);
    const auto started = std::chrono::steady_clock::now();
    EXPECT_THROW(client_agent.starttls(pair.client, client_context(), "localhost", texts),
                 tcp::base::connection_timed_out);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(3));
    done.set_value();
}

// A client that writes MAIL behind STARTTLS in one send: the server must not
// act on it once TLS is up.
TEST_F(smtp_starttls, server_drops_commands_sent_ahead_of_the_handshake) {
    const auto server_tls = server_context();
    auto session = serve(&server_tls);
    smtp::reply_texts reply;
    smtp::read_reply(pair.client, reply);
    smtp::command(pair.client, "EHLO client.test", reply);
    pair.client.write("STARTTLS\r\nMAIL FROM:<forged@x>\r\n", true);
    EXPECT_EQ(smtp::read_reply(pair.client, reply), 220);
    pair.client.discard_input();
    tcp::tls secured(pair.client, client_context(), "127.0.0.1");
    // The forged MAIL left no reply behind, and the session forgot the EHLO.
    EXPECT_THROW(smtp::command(secured, "MAIL FROM:<a@x>", reply), smtp::permanent_failure);
    EXPECT_EQ(reply.back(), "5.5.1 Please identify yourself first (HELO or EHLO)");
    EXPECT_EQ(handler.sender, "");
    smtp::command(secured, "EHLO client.test", reply);
    EXPECT_EQ(smtp::command(secured, "MAIL FROM:<a@x>", reply), 250);
    EXPECT_EQ(handler.sender, "a@x");
    smtp::command(secured, "QUIT", reply);
    EXPECT_EQ(session.get(), "ended");
}

}  // namespace
