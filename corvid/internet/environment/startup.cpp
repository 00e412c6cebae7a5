#include <corvid/internet/environment/startup.h>

#include <corvid/format.h>
#include <corvid/internet/environment/environment.h>
#include <corvid/platform/error.h>
#include <corvid/platform/subsystem.h>

namespace corvid::internet::environment {

using platform::socket_errc;

startup::startup() {
    int status = platform::startup();
    switch (status) {
        case 0: return;
        case static_cast<int>(socket_errc::system_not_ready): throw subsystem_not_ready("WSAStartup() failed");
        case static_cast<int>(socket_errc::version_not_supported):
            throw version_not_supported("WSAStartup() failed");
        default: throw generic(format("WSAStartup() returned status 0x%.8x", status));
    }
}

startup::~startup() {
    try {
        cleanup();
    } catch (const corvid::exception&) {
        // Nothing sensible to do with a failed stop here; see the class note.
    }
}

}  // namespace corvid::internet::environment
