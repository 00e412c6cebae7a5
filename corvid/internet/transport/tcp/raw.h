// SPDX-License-Identifier: MIT
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

    // The socket's own I/O, as tcp::base describes it, for callers that
    // move bytes themselves.
    using base::receive_some;
    using base::send_all;
};

}  // namespace corvid::internet::transport::tcp

#endif
