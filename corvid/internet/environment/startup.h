// SPDX-License-Identifier: MIT
#ifndef CORVID_INTERNET_ENVIRONMENT_STARTUP_H
#define CORVID_INTERNET_ENVIRONMENT_STARTUP_H

#include <corvid/internet/environment/errors.h>

namespace corvid::internet::environment {

// Keeps the network subsystem started for its lifetime: one start-up in the
// constructor, one cleanup() in the destructor. Nesting works through the
// subsystem's own count. Neither copied nor moved.
// The constructor throws subsystem_not_ready, version_not_supported or
// generic; the destructor never throws (a failed stop is dropped, as it may
// run while a send failure unwinds).
class startup {
public:
    startup();
    startup(const startup&) = delete;
    startup& operator=(const startup&) = delete;
    ~startup();
};

}  // namespace corvid::internet::environment

#endif
