#ifndef CORVID_INTERNET_TRANSPORT_TCP_RAW_H
#define CORVID_INTERNET_TRANSPORT_TCP_RAW_H

#include <corvid/internet/transport/tcp/base.h>

namespace corvid::internet::transport::tcp {

// A blocking TCP stream that moves its buffers with plain send and recv.
// Receives come in blocks of at most 4096 bytes; a flush sends all pending
// output, repeating send until the system has taken every byte. While a
// deadline is set, both wait in poll for what time is left instead.
// Failures throw as tcp::base says; a failed flush has dropped the unsent
// output, since the stream is no longer usable.
class raw : public base {
public:
    raw() = default;
    ~raw() override;

    void flush() override;
    void fill() override;

    // One receive into buffer; returns the count, at least 1 (0 only when
    // size is 0). An orderly close by the peer throws connection_closed.
    // With a deadline set, waits no longer than until then.
    std::size_t receive_some(char* buffer, std::size_t size);
    // Returns once all length bytes are sent. With a deadline set, sends
    // without blocking and waits for room no longer than until then; bytes
    // sent before a time-out are gone.
    void send_all(const char* bytes, std::size_t length);
};

}  // namespace corvid::internet::transport::tcp

#endif
