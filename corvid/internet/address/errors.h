// SPDX-License-Identifier: MIT
#ifndef CORVID_INTERNET_ADDRESS_ERRORS_H
#define CORVID_INTERNET_ADDRESS_ERRORS_H

#include <corvid/exception.h>

namespace corvid::internet::address {

// Failures of endpoint construction and name resolution.
CORVID_EXCEPTION(generic, corvid::exception, "internet.address");
CORVID_EXCEPTION(invalid_address_format, generic, "invalid_address_format");
CORVID_EXCEPTION(host_not_found, generic, "host_not_found");
CORVID_EXCEPTION(service_not_found, generic, "service_not_found");

}  // namespace corvid::internet::address

#endif
