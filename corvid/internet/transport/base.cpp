// SPDX-License-Identifier: MIT
#include <corvid/internet/transport/base.h>

#include <corvid/internet/transport/error_table.h>

#include <netinet/in.h>

namespace corvid::internet::transport {

using detail::call;
using detail::check;

base::~base() = default;  // the handle closes quietly

void base::open_socket(const address::base& address, int type) {
    std::error_code ec;
    handle = platform::open_socket(address.data()->sa_family, type, 0, ec);
    check(call::socket, ec);
}

void base::bind(const address::base& local) {
    std::error_code ec;
    platform::bind(handle.get(), local.data(), static_cast<socklen_t>(local.size()), ec);
    check(call::bind, ec);
}

namespace {

void set_int_option(platform::native_socket s, int name, int value, int level = SOL_SOCKET) {
    std::error_code ec;
    platform::set_option(s, level, name, &value, sizeof value, ec);
    check(call::setsockopt, ec);
}

}  // namespace

void base::set_receive_timeout(int milliseconds) {
    set_int_option(handle.get(), SO_RCVTIMEO, milliseconds);
    receive_timeout_ms = milliseconds;
}

void base::set_send_buffer_size(int bytes) { set_int_option(handle.get(), SO_SNDBUF, bytes); }

void base::set_send_timeout(int milliseconds) { set_int_option(handle.get(), SO_SNDTIMEO, milliseconds); }

void base::set_reuse_address(bool reuse) { set_int_option(handle.get(), SO_REUSEADDR, reuse ? 1 : 0); }

void base::set_v6_only(bool only) { set_int_option(handle.get(), IPV6_V6ONLY, only ? 1 : 0, IPPROTO_IPV6); }

void base::close() {
    std::error_code ec;
    handle.close(ec);
    check(call::closesocket, ec);
}

}  // namespace corvid::internet::transport
