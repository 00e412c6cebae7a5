#ifndef CORVID_INTERNET_TRANSPORT_STATUS_TABLE_H
#define CORVID_INTERNET_TRANSPORT_STATUS_TABLE_H

// Internal to the library: which exception a resolver or start-up call's
// error code raises, the counterpart of error_table.h for the calls that the
// endpoints and the network environment make. A code outside the call's row
// raises that family's generic class with "<call>() returned status 0x%.8x".

#include <system_error>

namespace corvid::internet::transport::detail {

enum class status_call {
    getaddrinfo,  // address family
    getnameinfo,  // address family
    gethostname,  // environment family
    startup,      // environment family
    cleanup,      // environment family
};

// Returns when ec is clear or its code is ignored in the call's row (a
// clean-up with nothing started), and throws the row's exception otherwise.
void check(status_call c, const std::error_code& ec);

}  // namespace corvid::internet::transport::detail

#endif
