// SPDX-License-Identifier: MIT
#include <corvid/platform/sys.h>

#include <cerrno>
#include <fcntl.h>
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

int control(int fd, int command, int argument) { return ::fcntl(fd, command, argument); }

const table real = {
    .socket = ::socket,
    .close = ::close,
    .bind = ::bind,
    .listen = ::listen,
    .accept4 = ::accept4,
    .connect = ::connect,
    .poll_writable = wait_writable,
    .poll = ::poll,
    .epoll_create1 = ::epoll_create1,
    .epoll_ctl = ::epoll_ctl,
    .epoll_wait = ::epoll_wait,
    .fcntl = control,
    .shutdown = ::shutdown,
    .getsockname = ::getsockname,
    .getpeername = ::getpeername,
    .recv = ::recv,
    .send = ::send,
    .recvfrom = ::recvfrom,
    .sendto = ::sendto,
    .setsockopt = ::setsockopt,
    .getsockopt = ::getsockopt,
    .gethostname = ::gethostname,
    .getaddrinfo = ::getaddrinfo,
    .freeaddrinfo = ::freeaddrinfo,
    .getnameinfo = ::getnameinfo,
    .getifaddrs = ::getifaddrs,
    .freeifaddrs = ::freeifaddrs,
    .connected_state = interface_connected,
    .startup = no_status,
    .cleanup = no_status,
};

table current = real;

}  // namespace

table& calls() noexcept { return current; }

const table& system_calls() noexcept { return real; }

}  // namespace corvid::platform::sys
