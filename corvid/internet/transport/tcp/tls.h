// SPDX-License-Identifier: MIT
#ifndef CORVID_INTERNET_TRANSPORT_TCP_TLS_H
#define CORVID_INTERNET_TRANSPORT_TCP_TLS_H

#include <corvid/internet/transport/tcp/base.h>

#include <exception>
#include <memory>
#include <string>

struct ssl_ctx_st;
struct ssl_st;

namespace corvid::internet::transport::tcp {

// The settings one side of TLS connections shares: a client's trust (the
// system's certificate store or a given CA file, and whether to verify at
// all) or a server's certificate chain and key. Copies share one context.
// Failures to load a file throw tls_failed with the TLS library's reason.
class tls_context {
public:
    // Verifies the server's certificate and its host name unless verify is
    // false; ca_file (PEM) replaces the system store when not empty.
    static tls_context client(const std::string& ca_file = {}, bool verify = true);
    // certificate_chain_file: the server's certificate first, then the
    // intermediates (PEM); key_file: its private key (PEM).
    static tls_context server(const std::string& certificate_chain_file, const std::string& key_file);

    bool is_server() const noexcept { return server_side; }
    bool verifies() const noexcept { return verify_peer; }
    ssl_ctx_st* native() const noexcept { return context.get(); }

private:
    tls_context() = default;
    std::shared_ptr<ssl_ctx_st> context;
    bool server_side = false;
    bool verify_peer = true;
};

// A TLS stream over a connection taken from another stream (which is left
// without a socket): the handshake runs in the constructor, flush() and
// fill() move TLS records through tcp::base's own socket I/O, so receive
// time-outs and deadlines work as on a plain stream. Failures of the
// connection throw the transport classes (time-out, reset, closed); failures
// of TLS itself (handshake, verification, a bad record) throw tls_failed
// with the TLS library's reason.
class tls : public base {
public:
    // As client. server_name is sent for SNI (unless it is an IP address)
    // and, when the context verifies, checked against the certificate.
    tls(base& connected, const tls_context& context, const std::string& server_name);
    // As server.
    tls(base& connected, const tls_context& context);
    ~tls() override;

    void flush() override;
    void fill() override;
    // Sends the TLS close_notify (quietly, the peer may be gone), then
    // shuts the socket down as a plain stream does.
    void shutdown() override;

    // The protocol and cipher agreed, e.g. "TLSv1.3 TLS_AES_256_GCM_SHA384".
    std::string description() const;

private:
    void start(const tls_context& context, const std::string* server_name);
    // Throws what the last TLS call's result means; returns for a retry.
    void raise(int result, const char* call);

    friend struct tls_bio;
    std::unique_ptr<ssl_st, void (*)(ssl_st*)> session;
    // A failure of the socket I/O below TLS, held until the TLS call returns.
    std::exception_ptr io_failure;
};

}  // namespace corvid::internet::transport::tcp

#endif
