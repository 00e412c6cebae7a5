// SPDX-License-Identifier: MIT
#ifndef CORVID_INTERNET_TRANSPORT_ERRORS_H
#define CORVID_INTERNET_TRANSPORT_ERRORS_H

#include <corvid/exception.h>

namespace corvid::internet::transport {

// Socket failures common to every transport.
CORVID_EXCEPTION(generic, corvid::exception, "internet.transport");
CORVID_EXCEPTION(not_a_socket, generic, "not_a_socket");
CORVID_EXCEPTION(address_in_use, generic, "address_in_use");
CORVID_EXCEPTION(address_not_valid, generic, "address_not_valid");

// The TCP connection failures, also reached as tcp::base::connection_failed
// and so on.
namespace tcp {
CORVID_EXCEPTION(connection_failed, transport::generic, "connection_failed");
CORVID_EXCEPTION(connection_closed, connection_failed, "connection_closed");
CORVID_EXCEPTION(connection_refused, connection_failed, "connection_refused");
CORVID_EXCEPTION(connection_reset, connection_failed, "connection_reset");
CORVID_EXCEPTION(connection_timed_out, connection_failed, "connection_timed_out");
CORVID_EXCEPTION(network_unreachable, connection_failed, "network_unreachable");
CORVID_EXCEPTION(host_unreachable, connection_failed, "host_unreachable");
// The TLS handshake or a TLS record failed; the message is the TLS
// library's reason.
CORVID_EXCEPTION(tls_failed, connection_failed, "tls_failed");
}  // namespace tcp

// The datagram failures, also reached as udp::raw::operation_failed and so on.
namespace udp {
CORVID_EXCEPTION(operation_failed, transport::generic, "operation_failed");
CORVID_EXCEPTION(message_truncated, operation_failed, "message_truncated");
CORVID_EXCEPTION(operation_timed_out, operation_failed, "operation_timed_out");
CORVID_EXCEPTION(network_unreachable, operation_failed, "network_unreachable");
CORVID_EXCEPTION(host_unreachable, operation_failed, "host_unreachable");
CORVID_EXCEPTION(port_unreachable, operation_failed, "port_unreachable");
}  // namespace udp

}  // namespace corvid::internet::transport

#endif
