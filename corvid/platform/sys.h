// SPDX-License-Identifier: MIT
#ifndef CORVID_PLATFORM_SYS_H
#define CORVID_PLATFORM_SYS_H

#include <cstddef>
#include <ifaddrs.h>
#include <netdb.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <sys/types.h>

// The seam between the socket layer and the operating system. Every system
// call of the layer goes through calls(), so that a test can replace one entry
// with a function that fails with a chosen errno, accepts only part of a send
// or returns a made-up resolver result. Production code never changes it.
namespace corvid::platform::sys {

struct table {
    int (*socket)(int domain, int type, int protocol);
    int (*close)(int fd);
    int (*bind)(int fd, const sockaddr* address, socklen_t length);
    int (*listen)(int fd, int backlog);
    int (*accept4)(int fd, sockaddr* address, socklen_t* length, int flags);
    int (*connect)(int fd, const sockaddr* address, socklen_t length);
    int (*poll_writable)(int fd);  // waits for an interrupted connect to end
    int (*poll)(pollfd* entries, nfds_t count, int timeout_ms);
    int (*epoll_create1)(int flags);
    int (*epoll_ctl)(int epoll, int operation, int fd, epoll_event* event);
    int (*epoll_wait)(int epoll, epoll_event* events, int count, int timeout_ms);
    // fcntl with one int argument (0 where the command takes none).
    int (*fcntl)(int fd, int command, int argument);
    int (*shutdown)(int fd, int how);
    int (*getsockname)(int fd, sockaddr* address, socklen_t* length);
    int (*getpeername)(int fd, sockaddr* address, socklen_t* length);
    ssize_t (*recv)(int fd, void* buffer, std::size_t size, int flags);
    ssize_t (*send)(int fd, const void* buffer, std::size_t size, int flags);
    ssize_t (*recvfrom)(int fd, void* buffer, std::size_t size, int flags, sockaddr* from,
                        socklen_t* length);
    ssize_t (*sendto)(int fd, const void* buffer, std::size_t size, int flags, const sockaddr* to,
                      socklen_t length);
    int (*setsockopt)(int fd, int level, int name, const void* value, socklen_t length);
    int (*getsockopt)(int fd, int level, int name, void* value, socklen_t* length);
    int (*gethostname)(char* buffer, std::size_t size);
    int (*getaddrinfo)(const char* host, const char* service, const addrinfo* hints,
                       addrinfo** result);
    void (*freeaddrinfo)(addrinfo* list);
    int (*getnameinfo)(const sockaddr* address, socklen_t length, char* host, socklen_t host_size,
                       char* service, socklen_t service_size, int flags);
    int (*getifaddrs)(ifaddrs** list);
    void (*freeifaddrs)(ifaddrs* list);
    // The connected-state query: true when some connection exists; *flags
    // receives the state flags (offline mode is 0x20).
    bool (*connected_state)(unsigned* flags);
    // The status that starting and stopping the subsystem reports; the
    // operating system has nothing to start, so the real ones return 0.
    int (*startup)();
    int (*cleanup)();
};

// The entries in force.
table& calls() noexcept;
// The operating system's own entries.
const table& system_calls() noexcept;

}  // namespace corvid::platform::sys

#endif
