// SPDX-License-Identifier: MIT
#include <corvid/internet/transport/tcp/tls.h>

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <arpa/inet.h>
#include <algorithm>
#include <climits>
#include <utility>

namespace corvid::internet::transport::tcp {

namespace {

// The reason the TLS library gives for its last failure on this thread.
std::string reason() {
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    if (code == 0) return "unknown TLS failure";
    char text[256];
    ERR_error_string_n(code, text, sizeof text);
    // The text reads "error:0A000086:SSL routines::certificate verify
    // failed"; the part after the last colon is the one a person reads.
    std::string whole = text;
    const std::size_t colon = whole.rfind(':');
    return colon == std::string::npos ? whole : whole.substr(colon + 1);
}

bool is_ip_address(const std::string& name) {
    unsigned char address[16];
    return ::inet_pton(AF_INET, name.c_str(), address) == 1 || ::inet_pton(AF_INET6, name.c_str(), address) == 1;
}

void refuse_nul(const std::string& file) {
    if (file.find('\0') != std::string::npos) throw tls_failed("a file name holds a NUL byte");
}

}  // namespace

// The TLS library's records travel through the stream's own socket I/O.
// A C callback must not let an exception through, so a failure is kept in
// the stream and thrown again once the TLS call has returned.
struct tls_bio {
    static tls& stream(BIO* bio) { return *static_cast<tls*>(BIO_get_data(bio)); }

    static int write(BIO* bio, const char* data, int length) {
        BIO_clear_retry_flags(bio);
        try {
            stream(bio).send_all(data, static_cast<std::size_t>(length));
            return length;
        } catch (...) {
            stream(bio).io_failure = std::current_exception();
            return -1;
        }
    }

    static int read(BIO* bio, char* out, int length) {
        BIO_clear_retry_flags(bio);
        try {
            return static_cast<int>(stream(bio).receive_some(out, static_cast<std::size_t>(length)));
        } catch (...) {
            stream(bio).io_failure = std::current_exception();
            return -1;
        }
    }

    static long control(BIO*, int command, long, void*) { return command == BIO_CTRL_FLUSH ? 1 : 0; }

    static int create(BIO* bio) {
        BIO_set_init(bio, 1);
        return 1;
    }

    static BIO_METHOD* method() {
        static BIO_METHOD* const shared = [] {
            BIO_METHOD* m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "corvid tcp stream");
            if (m == nullptr) return m;
            BIO_meth_set_write(m, write);
            BIO_meth_set_read(m, read);
            BIO_meth_set_ctrl(m, control);
            BIO_meth_set_create(m, create);
            return m;
        }();
        return shared;
    }
};

tls_context tls_context::client(const std::string& ca_file, bool verify) {
    refuse_nul(ca_file);
    tls_context made;
    made.context.reset(SSL_CTX_new(TLS_client_method()), SSL_CTX_free);
    if (!made.context) throw tls_failed("cannot make a TLS context: " + reason());
    made.verify_peer = verify;
    SSL_CTX* ctx = made.context.get();
    SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
    if (!verify) return made;
    SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, nullptr);
    if (!ca_file.empty()) {
        if (SSL_CTX_load_verify_locations(ctx, ca_file.c_str(), nullptr) != 1)
            throw tls_failed("cannot load the CA file " + ca_file + ": " + reason());
    } else if (SSL_CTX_set_default_verify_paths(ctx) != 1) {
        throw tls_failed("cannot load the system's certificates: " + reason());
    }
    return made;
}

tls_context tls_context::server(const std::string& certificate_chain_file, const std::string& key_file) {
    refuse_nul(certificate_chain_file);
    refuse_nul(key_file);
    tls_context made;
    made.context.reset(SSL_CTX_new(TLS_server_method()), SSL_CTX_free);
    if (!made.context) throw tls_failed("cannot make a TLS context: " + reason());
    made.server_side = true;
    made.verify_peer = false;
    SSL_CTX* ctx = made.context.get();
    SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
    if (SSL_CTX_use_certificate_chain_file(ctx, certificate_chain_file.c_str()) != 1)
        throw tls_failed("cannot load the certificate " + certificate_chain_file + ": " + reason());
    if (SSL_CTX_use_PrivateKey_file(ctx, key_file.c_str(), SSL_FILETYPE_PEM) != 1)
        throw tls_failed("cannot load the key " + key_file + ": " + reason());
    if (SSL_CTX_check_private_key(ctx) != 1)
        throw tls_failed("the key " + key_file + " does not match the certificate: " + reason());
    return made;
}

tls::tls(base& connected, const tls_context& context, const std::string& server_name) : session(nullptr, SSL_free) {
    if (context.is_server()) throw tls_failed("a server context cannot start a client");
    take_over(connected);
    start(context, &server_name);
}

tls::tls(base& connected, const tls_context& context) : session(nullptr, SSL_free) {
    if (!context.is_server()) throw tls_failed("a client context cannot start a server");
    take_over(connected);
    start(context, nullptr);
}

tls::~tls() = default;

void tls::start(const tls_context& context, const std::string* server_name) {
    ERR_clear_error();
    session.reset(SSL_new(context.native()));
    BIO* bio = tls_bio::method() ? BIO_new(tls_bio::method()) : nullptr;
    if (!session || bio == nullptr) {
        BIO_free(bio);
        throw tls_failed("cannot start TLS: " + reason());
    }
    BIO_set_data(bio, this);
    SSL_set_bio(session.get(), bio, bio);
    if (server_name) {
        SSL_set_connect_state(session.get());
        const std::string& name = *server_name;
        if (name.find('\0') != std::string::npos) throw tls_failed("the server name holds a NUL byte");
        const bool address = is_ip_address(name);
        // SNI carries host names only.
        if (!name.empty() && !address) SSL_set_tlsext_host_name(session.get(), name.c_str());
        if (context.verifies() && !name.empty()) {
            const int set = address ? X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(session.get()), name.c_str())
                                    : SSL_set1_host(session.get(), name.c_str());
            if (set != 1) throw tls_failed("cannot check the name " + name + ": " + reason());
        }
    } else {
        SSL_set_accept_state(session.get());
    }
    for (;;) {
        ERR_clear_error();
        const int result = SSL_do_handshake(session.get());
        if (result == 1) return;
        raise(result, "SSL_do_handshake");
    }
}

void tls::raise(int result, const char* call) {
    const int error = SSL_get_error(session.get(), result);
    if (io_failure) {
        ERR_clear_error();
        std::rethrow_exception(std::exchange(io_failure, nullptr));
    }
    const std::string failed = std::string(call) + "() failed";
    switch (error) {
        case SSL_ERROR_WANT_READ:
        case SSL_ERROR_WANT_WRITE: return;
        case SSL_ERROR_ZERO_RETURN: throw connection_closed(failed);
        case SSL_ERROR_SYSCALL:
            if (ERR_peek_error() == 0) throw connection_closed(failed);
            break;
        default: break;
    }
    std::string why = reason();
    const long verified = SSL_get_verify_result(session.get());
    if (verified != X509_V_OK) why += std::string(" (") + X509_verify_cert_error_string(verified) + ")";
    throw tls_failed(failed + ": " + why);
}

void tls::flush() {
    if (output_empty()) return;
    const std::string block = take_output();
    std::size_t done = 0;
    while (done < block.size()) {
        const int piece = static_cast<int>(std::min<std::size_t>(block.size() - done, INT_MAX / 2));
        ERR_clear_error();
        const int written = SSL_write(session.get(), block.data() + done, piece);
        if (written > 0) {
            done += static_cast<std::size_t>(written);
            continue;
        }
        raise(written, "SSL_write");
    }
}

void tls::fill() {
    char block[16 * 1024];
    for (;;) {
        ERR_clear_error();
        const int got = SSL_read(session.get(), block, sizeof block);
        if (got > 0) return append_input(block, static_cast<std::size_t>(got));
        raise(got, "SSL_read");
    }
}

void tls::shutdown() {
    if (session && handle.valid()) {
        // A peer that is gone cannot hear the goodbye; that is no failure.
        ERR_clear_error();
        SSL_shutdown(session.get());
        ERR_clear_error();
        io_failure = nullptr;
    }
    base::shutdown();
}

std::string tls::description() const {
    if (!session) return {};
    return std::string(SSL_get_version(session.get())) + " " + SSL_get_cipher_name(session.get());
}

}  // namespace corvid::internet::transport::tcp
