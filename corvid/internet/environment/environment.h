// SPDX-License-Identifier: MIT
#ifndef CORVID_INTERNET_ENVIRONMENT_ENVIRONMENT_H
#define CORVID_INTERNET_ENVIRONMENT_ENVIRONMENT_H

#include <corvid/internet/environment/errors.h>

#include <string>
#include <string_view>

// The network subsystem as a whole. Failures throw the classes of errors.h.
namespace corvid::internet::environment {

// Stops one start-up of the subsystem. Returns 0, or 10093 when nothing was
// started, which is not an error; throws subsystem_failed or generic
// otherwise.
int cleanup();

// The local host's name. Throws subsystem_not_ready before start-up.
std::string host_name();

// The local host's fully qualified domain name: its canonical name as the
// resolver gives it, or else the host name, whichever is a domain of two or
// more labels (letters, digits and inner hyphens) other than the localhost
// names; "" when neither is. Throws subsystem_not_ready before start-up.
std::string fully_qualified_name();

// Whether name is such a domain: what fully_qualified_name() accepts.
bool is_fully_qualified(std::string_view name);

// Whether the system is in offline mode: never while it reports a
// connection.
bool offline();

}  // namespace corvid::internet::environment

#endif
