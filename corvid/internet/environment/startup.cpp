#include <corvid/internet/environment/startup.h>

#include <corvid/internet/environment/environment.h>
#include <corvid/internet/transport/status_table.h>
#include <corvid/platform/subsystem.h>

namespace corvid::internet::environment {

startup::startup() {
    std::error_code ec;
    platform::startup(ec);
    transport::detail::check(transport::detail::status_call::startup, ec);
}

startup::~startup() {
    try {
        cleanup();
    } catch (const corvid::exception&) {
        // Nothing sensible to do with a failed stop here; see the class note.
    }
}

}  // namespace corvid::internet::environment
