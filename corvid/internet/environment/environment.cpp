#include <corvid/internet/environment/environment.h>

#include <corvid/format.h>
#include <corvid/platform/error.h>
#include <corvid/platform/resolver.h>
#include <corvid/platform/subsystem.h>

namespace corvid::internet::environment {

using platform::socket_errc;

namespace {

constexpr int code(socket_errc e) { return static_cast<int>(e); }

}  // namespace

int cleanup() {
    int status = platform::cleanup() == 0 ? 0 : platform::last_error();
    switch (status) {
        case 0:
        case code(socket_errc::not_initialised): return status;
        case code(socket_errc::network_down): throw subsystem_failed("WSACleanup() failed");
        default: throw generic(format("WSACleanup() returned status 0x%.8x", status));
    }
}

std::string host_name() {
    char buffer[2048];
    if (platform::get_host_name(buffer, sizeof buffer) == 0) return buffer;
    int status = platform::last_error();
    switch (status) {
        case code(socket_errc::network_down): throw subsystem_failed("gethostname() failed");
        case code(socket_errc::system_not_ready):
        case code(socket_errc::not_initialised): throw subsystem_not_ready("gethostname() failed");
        default: throw generic(format("gethostname() returned status 0x%.8x", status));
    }
}

bool offline() {
    unsigned flags = 0;
    if (platform::connected_state(&flags)) return false;
    return (flags & platform::offline_flag) != 0;
}

}  // namespace corvid::internet::environment
