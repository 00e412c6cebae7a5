#include <corvid/platform/sys.h>

#include <cerrno>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <unistd.h>

namespace corvid::platform::sys {

namespace {

int wait_writable(int fd) {
    pollfd entry{fd, POLLOUT, 0};
    return ::poll(&entry, 1, -1) < 0 ? -1 : 0;
}

// A connection exists when an interface other than loopback is up and has an
// IPv4 or IPv6 address. Linux knows no offline mode, so the flags stay 0.
bool interface_connected(unsigned* flags) {
    *flags = 0;
    ifaddrs* list = nullptr;
    if (calls().getifaddrs(&list) != 0) return false;
    bool connected = false;
    for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr) continue;
        int family = entry->ifa_addr->sa_family;
        if (family != AF_INET && family != AF_INET6) continue;
        if ((entry->ifa_flags & IFF_UP) == 0 || (entry->ifa_flags & IFF_LOOPBACK) != 0) continue;
        connected = true;
        break;
    }
    calls().freeifaddrs(list);
    return connected;
}

int no_status() { return 0; }

const table real = {
    ::socket,      ::close,       ::bind,        ::listen,      ::accept4,
    ::connect,     wait_writable, ::shutdown,    ::getsockname, ::getpeername,
    ::recv,        ::send,        ::recvfrom,    ::sendto,      ::setsockopt,
    ::getsockopt,  ::gethostname, ::getaddrinfo, ::freeaddrinfo, ::getnameinfo,
    ::getifaddrs,  ::freeifaddrs, interface_connected, no_status, no_status,
};

table current = real;

}  // namespace

table& calls() noexcept { return current; }

const table& system_calls() noexcept { return real; }

}  // namespace corvid::platform::sys
