// SPDX-License-Identifier: MIT
#include <corvid/internet/transport/tcp/tls.h>

#include "tests/support/loopback.h"
#include "tests/support/test_certs.h"
#include "tests/support/throws.h"

#include <corvid/internet/environment/startup.h>

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

namespace {

namespace tcp = corvid::internet::transport::tcp;
using corvid::test::tcp_pair;
using corvid::test::test_certs;
using corvid::test::what_of;

class tls_stream : public ::testing::Test {
protected:
    static tcp::tls_context server_context() {
        return tcp::tls_context::server(test_certs() + "/server.pem", test_certs() + "/server.key");
    }
    static tcp::tls_context trusting(const std::string& ca) { return tcp::tls_context::client(test_certs() + ca); }

    corvid::internet::environment::startup scope;
    tcp_pair pair;
};

// The server side in a thread: handshake, echo one line back, close.
std::future<std::string> serve_once(tcp::base& accepted, const tcp::tls_context& context) {
    return std::async(std::launch::async, [&accepted, context] {
        try {
            tcp::tls server(accepted, context);
            std::string line;
            server.read_line(line);
            server.write_line("echo " + line, true);
            server.read_line(line);  // the client's large block, whole
            server.write_line(std::to_string(line.size()), true);
            server.shutdown();
            return std::string("served");
        } catch (const std::exception& e) {
            return std::string(e.what());
        }
    });
}

TEST_F(tls_stream, client_and_server_talk_through_the_taken_over_connection) {
    for (const char* name : {"127.0.0.1", "localhost"}) {
        SCOPED_TRACE(name);
        tcp_pair fresh;
        auto served = serve_once(fresh.server, server_context());
        tcp::tls client(fresh.client, trusting("/ca.pem"), name);
        EXPECT_EQ(fresh.client.socket_handle(), corvid::platform::invalid_socket);  // taken over
        EXPECT_EQ(client.description().rfind("TLSv1.", 0), 0u) << client.description();
        client.write_line("hello", true);
        std::string line;
        client.read_line(line);
        EXPECT_EQ(line, "echo hello");
        const std::string large(1 << 20, 'x');  // many TLS records each way
        client.write_line(large, true);
        client.read_line(line);
        EXPECT_EQ(line, std::to_string(large.size()));
        EXPECT_GT(client.bytes_sent(), large.size());  // the records' bytes
        EXPECT_EQ(served.get(), "served");
    }
}

TEST_F(tls_stream, verification_failures_name_the_reason) {
    struct row {
        const char* ca;
        const char* name;
        bool verify;
        const char* expected;  // part of what(), or "" when it connects
    };
    const row rows[] = {
        {"/ca.pem", "mail.example.com", true, "hostname mismatch"},
        {"/other_ca.pem", "127.0.0.1", true, "unable to get local issuer certificate"},
        {"/other_ca.pem", "mail.example.com", false, ""},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.name);
        tcp_pair fresh;
        auto served = serve_once(fresh.server, server_context());
        const auto context = tcp::tls_context::client(test_certs() + r.ca, r.verify);
        const std::string failure = what_of<tcp::base::tls_failed>([&] {
            tcp::tls client(fresh.client, context, r.name);
            client.write_line("x", true);
        });
        if (*r.expected == '\0') {
            EXPECT_EQ(failure, "nothing thrown");
        } else {
            EXPECT_NE(failure.find("internet.transport.connection_failed.tls_failed[SSL_do_handshake() failed: "),
                      std::string::npos)
                << failure;
            EXPECT_NE(failure.find(r.expected), std::string::npos) << failure;
        }
        fresh.client.close();
        served.wait();
    }
}

TEST_F(tls_stream, a_silent_or_vanishing_peer_ends_the_handshake_in_time) {
    // Accepts and says nothing: the deadline ends the handshake. The context
    // is made first, so that on a loaded machine the deadline cannot pass
    // before the greeting is sent.
    const auto context = trusting("/ca.pem");
    pair.client.set_deadline(tcp::base::clock::now() + std::chrono::milliseconds(300));
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(what_of<tcp::base::connection_timed_out>([&] { tcp::tls(pair.client, context, "localhost"); }),
              "internet.transport.connection_failed.connection_timed_out[recv() failed]");
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(3));

    // Closes at once: the connection is closed, not a TLS failure.
    tcp_pair fresh;
    fresh.server.close();
    EXPECT_EQ(what_of<tcp::base::connection_closed>([&] { tcp::tls(fresh.client, trusting("/ca.pem"), "localhost"); }),
              "internet.transport.connection_failed.connection_closed[recv() failed]");
}

TEST_F(tls_stream, plaintext_that_came_ahead_is_never_taken_over) {
    pair.server.write("220 Ready to start TLS\r\ninjected\r\n", true);
    std::string line;
    pair.client.read_line(line);
    EXPECT_EQ(what_of<tcp::base::tls_failed>([&] { tcp::tls(pair.client, trusting("/ca.pem"), "localhost"); }),
              "internet.transport.connection_failed.tls_failed[cannot take over a connection with unread input or "
              "unsent output]");
    EXPECT_NE(pair.client.socket_handle(), corvid::platform::invalid_socket);  // still its own
    EXPECT_EQ(pair.client.discard_input(), 10u);
}

TEST_F(tls_stream, contexts_refuse_files_they_cannot_use) {
    EXPECT_NE(what_of<tcp::base::tls_failed>([] { tcp::tls_context::client("/nonexistent/ca.pem"); })
                  .find("cannot load the CA file /nonexistent/ca.pem: "),
              std::string::npos);
    EXPECT_NE(what_of<tcp::base::tls_failed>(
                  [] { tcp::tls_context::server(test_certs() + "/server.pem", test_certs() + "/ca.key"); })
                  .find("key values mismatch"),
              std::string::npos);
}

}  // namespace
