// SPDX-License-Identifier: MIT
#include <corvid/internet/environment/startup.h>

#include <corvid/internet/environment/environment.h>
#include <corvid/internet/environment/status.h>
#include <corvid/platform/subsystem.h>

namespace corvid::internet::environment {

startup::startup() {
    std::error_code ec;
    platform::startup(ec);
    detail::check(platform::status_call::startup, ec);
}

startup::~startup() {
    try {
        cleanup();
    } catch (const corvid::exception&) {
        // Nothing sensible to do with a failed stop here; see the class note.
    }
}

}  // namespace corvid::internet::environment
