#ifndef CORVID_INTERNET_TRANSPORT_ERRORS_H
#define CORVID_INTERNET_TRANSPORT_ERRORS_H

#include <corvid/exception.h>

namespace corvid::internet::transport {

// Socket failures common to every transport. The TCP connection failures
// live in tcp::base and the datagram failures in udp::raw.
CORVID_EXCEPTION(generic, corvid::exception, "internet.transport");
CORVID_EXCEPTION(not_a_socket, generic, "not_a_socket");
CORVID_EXCEPTION(address_in_use, generic, "address_in_use");
CORVID_EXCEPTION(address_not_valid, generic, "address_not_valid");

}  // namespace corvid::internet::transport

#endif
