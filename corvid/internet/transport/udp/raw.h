// SPDX-License-Identifier: MIT
#ifndef CORVID_INTERNET_TRANSPORT_UDP_RAW_H
#define CORVID_INTERNET_TRANSPORT_UDP_RAW_H

#include <corvid/internet/transport/base.h>

#include <cstddef>
#include <string>
#include <string_view>

namespace corvid::internet::transport::udp {

// A datagram socket: one datagram sent to an address, or received with its
// sender's address. A datagram is never passed on cut short.
// Failures throw operation_failed and its subclasses, transport and
// environment errors.
class raw : public transport::base {
public:
    using operation_failed = udp::operation_failed;
    using message_truncated = udp::message_truncated;
    using operation_timed_out = udp::operation_timed_out;
    using network_unreachable = udp::network_unreachable;
    using host_unreachable = udp::host_unreachable;
    using port_unreachable = udp::port_unreachable;

    raw() = default;
    ~raw() override;

    void open(const address::base& address) override;
    // The largest datagram payload the socket can send.
    int max_message_size();
    // Receives one datagram into buffer, which accepts as many bytes as its
    // capacity (reserve beforehand, e.g. to max_message_size()); a longer
    // datagram throws message_truncated. buffer ends as long as the datagram.
    void receive_from(address::base& from, std::string& buffer);
    // Sends data as one datagram; returns its size.
    std::size_t send_to(const address::base& to, std::string_view data);
};

}  // namespace corvid::internet::transport::udp

#endif
