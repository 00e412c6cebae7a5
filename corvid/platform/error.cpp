// SPDX-License-Identifier: MIT
#include <corvid/platform/error.h>

#include <corvid/format.h>

#include <cerrno>
#include <netdb.h>

namespace corvid::platform {

int from_errno(int error) noexcept {
    using e = socket_errc;
    // EAGAIN and EWOULDBLOCK are one value on Linux; test it outside the
    // switch so that a system where they differ still compiles.
    if (error == EAGAIN || error == EWOULDBLOCK) return static_cast<int>(e::timed_out);
    e code;
    switch (error) {
        case 0: code = e::success; break;
        case ENOMEM: code = e::not_enough_memory; break;
        case EINTR: code = e::interrupted; break;
        case EACCES:
        case EPERM: code = e::permission_denied; break;
        case EFAULT: code = e::bad_address; break;
        case EINVAL: code = e::invalid_argument; break;
        case EMFILE:
        case ENFILE: code = e::too_many_open_files; break;
        case EINPROGRESS: code = e::in_progress; break;
        case EALREADY: code = e::already; break;
        case EBADF:
        case ENOTSOCK: code = e::not_a_socket; break;
        case EDESTADDRREQ: code = e::destination_address_required; break;
        case EMSGSIZE: code = e::message_size; break;
        case EPROTOTYPE: code = e::wrong_protocol_type; break;
        case ENOPROTOOPT: code = e::no_protocol_option; break;
        case EPROTONOSUPPORT: code = e::protocol_not_supported; break;
        case ESOCKTNOSUPPORT: code = e::socket_type_not_supported; break;
        case EOPNOTSUPP: code = e::operation_not_supported; break;
        case EPFNOSUPPORT: code = e::protocol_family_not_supported; break;
        case EAFNOSUPPORT: code = e::address_family_not_supported; break;
        case EADDRINUSE: code = e::address_in_use; break;
        case EADDRNOTAVAIL: code = e::address_not_available; break;
        case ENETDOWN: code = e::network_down; break;
        case ENETUNREACH: code = e::network_unreachable; break;
        case ENETRESET: code = e::network_reset; break;
        case ECONNABORTED: code = e::connection_aborted; break;
        case ECONNRESET:
        case EPIPE: code = e::connection_reset; break;
        case ENOBUFS: code = e::no_buffer_space; break;
        case EISCONN: code = e::already_connected; break;
        case ENOTCONN: code = e::not_connected; break;
        case ESHUTDOWN: code = e::shut_down; break;
        case ETIMEDOUT: code = e::timed_out; break;
        case ECONNREFUSED: code = e::connection_refused; break;
        case ENAMETOOLONG: code = e::name_too_long; break;
        case EHOSTDOWN: code = e::host_down; break;
        case EHOSTUNREACH: code = e::host_unreachable; break;
        default: return unmapped_errno_base + error;
    }
    return static_cast<int>(code);
}

int from_resolver(int status, int saved_errno) noexcept {
    using e = socket_errc;
    e code;
    switch (status) {
        case 0: code = e::success; break;
        case EAI_NONAME: code = e::host_not_found; break;
        case EAI_AGAIN: code = e::try_again; break;
        case EAI_FAIL: code = e::no_recovery; break;
        case EAI_NODATA:
        case EAI_ADDRFAMILY: code = e::no_data; break;
        case EAI_SERVICE: code = e::type_not_found; break;
        case EAI_MEMORY: code = e::not_enough_memory; break;
        case EAI_BADFLAGS: code = e::invalid_argument; break;
        case EAI_FAMILY: code = e::address_family_not_supported; break;
        case EAI_SOCKTYPE: code = e::socket_type_not_supported; break;
        case EAI_OVERFLOW: code = e::bad_address; break;
        case EAI_SYSTEM: return from_errno(saved_errno);
        default: return unmapped_resolver_base - status;
    }
    return static_cast<int>(code);
}

namespace {

class category : public std::error_category {
public:
    const char* name() const noexcept override { return "corvid.socket"; }

    std::string message(int code) const override {
        switch (static_cast<socket_errc>(code)) {
            case socket_errc::success: return "success";
            case socket_errc::not_a_socket: return "not a socket";
            case socket_errc::message_size: return "message too long";
            case socket_errc::address_in_use: return "address in use";
            case socket_errc::address_not_available: return "address not available";
            case socket_errc::network_down: return "network is down";
            case socket_errc::network_unreachable: return "network unreachable";
            case socket_errc::network_reset: return "connection dropped on network reset";
            case socket_errc::connection_aborted: return "connection aborted";
            case socket_errc::connection_reset: return "connection reset by peer";
            case socket_errc::not_connected: return "not connected";
            case socket_errc::shut_down: return "socket shut down";
            case socket_errc::timed_out: return "timed out";
            case socket_errc::connection_refused: return "connection refused";
            case socket_errc::host_unreachable: return "host unreachable";
            case socket_errc::system_not_ready: return "network subsystem not ready";
            case socket_errc::version_not_supported: return "version not supported";
            case socket_errc::not_initialised: return "network subsystem not started";
            case socket_errc::type_not_found: return "service not found";
            case socket_errc::host_not_found: return "host not found";
            case socket_errc::try_again: return "temporary name resolution failure";
            case socket_errc::no_recovery: return "non-recoverable name resolution failure";
            case socket_errc::no_data: return "no address for the name";
            default: return format("socket error %d", code);
        }
    }
};

}  // namespace

const std::error_category& socket_category() noexcept {
    static const category instance;
    return instance;
}

}  // namespace corvid::platform
