// SPDX-License-Identifier: MIT
#include <corvid/internet/transport/error_table.h>

#include <corvid/format.h>
#include <corvid/internet/address/endpoint.h>
#include <corvid/internet/environment/errors.h>
#include <corvid/internet/transport/errors.h>
#include <corvid/platform/error.h>

#include <cstddef>
#include <iterator>
#include <string>

namespace corvid::internet::transport::detail {

namespace {

enum class outcome : unsigned char {
    unlisted,
    ignored,
    not_a_socket,
    address_in_use,
    address_not_valid,
    subsystem_not_ready,
    subsystem_failed,
    tcp_connection_failed,
    tcp_connection_closed,
    tcp_connection_refused,
    tcp_connection_reset,
    tcp_connection_timed_out,
    tcp_network_unreachable,
    tcp_host_unreachable,
    udp_message_truncated,
    udp_operation_timed_out,
    udp_network_unreachable,
    udp_host_unreachable,
    udp_port_unreachable,
};

// Short names so that the table below reads as a table.
constexpr outcome gn = outcome::unlisted, ig = outcome::ignored, ns = outcome::not_a_socket,
                  iu = outcome::address_in_use, nv = outcome::address_not_valid,
                  nr = outcome::subsystem_not_ready, sf = outcome::subsystem_failed,
                  cf = outcome::tcp_connection_failed, cc = outcome::tcp_connection_closed,
                  cr = outcome::tcp_connection_refused, rs = outcome::tcp_connection_reset,
                  to = outcome::tcp_connection_timed_out, nu = outcome::tcp_network_unreachable,
                  hu = outcome::tcp_host_unreachable, mt = outcome::udp_message_truncated,
                  ut = outcome::udp_operation_timed_out, un = outcome::udp_network_unreachable,
                  uh = outcome::udp_host_unreachable, up = outcome::udp_port_unreachable;

using platform::socket_errc;

// The columns, each with the tag that heads it in the table.
constexpr socket_errc columns[] = {
    socket_errc::not_a_socket,           // sock
    socket_errc::message_size,           // size
    socket_errc::address_in_use,         // used
    socket_errc::address_not_available,  // addr
    socket_errc::network_down,           // down
    socket_errc::network_unreachable,    // nunr
    socket_errc::network_reset,          // nrst
    socket_errc::connection_reset,       // crst
    socket_errc::not_connected,          // ncon
    socket_errc::shut_down,              // shut
    socket_errc::timed_out,              // time
    socket_errc::connection_refused,     // refu
    socket_errc::host_unreachable,       // hunr
    socket_errc::not_initialised,        // init
};
constexpr std::size_t column_count = std::size(columns);

struct row {
    const char* name;
    outcome cells[column_count];
};

// Network down raises subsystem_not_ready and not initialised
// subsystem_failed in every socket call; callers catch them that way.
constexpr row rows[] = {
    //               sock  size  used  addr  down  nunr  nrst  crst  ncon  shut  time  refu  hunr  init
    {"bind",        {ns,   gn,   iu,   nv,   nr,   gn,   gn,   gn,   gn,   gn,   gn,   gn,   gn,   sf}},
    {"setsockopt",  {ns,   gn,   gn,   gn,   nr,   gn,   gn,   gn,   gn,   gn,   gn,   gn,   gn,   sf}},
    {"closesocket", {ig,   gn,   gn,   gn,   nr,   gn,   gn,   gn,   gn,   gn,   gn,   gn,   gn,   sf}},
    {"socket",      {gn,   gn,   gn,   gn,   nr,   gn,   gn,   gn,   gn,   gn,   gn,   gn,   gn,   sf}},
    {"listen",      {ns,   gn,   iu,   nv,   nr,   gn,   gn,   gn,   gn,   gn,   gn,   gn,   gn,   sf}},
    {"accept",      {ns,   gn,   gn,   gn,   nr,   gn,   gn,   cc,   gn,   gn,   gn,   gn,   gn,   sf}},
    {"connect",     {ns,   gn,   iu,   nv,   nr,   nu,   gn,   gn,   gn,   gn,   gn,   cr,   hu,   sf}},
    {"shutdown",    {ig,   gn,   gn,   gn,   nr,   gn,   gn,   gn,   ig,   gn,   gn,   gn,   gn,   sf}},
    {"getsockname", {ns,   gn,   gn,   gn,   nr,   gn,   gn,   gn,   cf,   gn,   gn,   gn,   gn,   sf}},
    {"getpeername", {ns,   gn,   gn,   gn,   nr,   gn,   gn,   gn,   cf,   gn,   gn,   gn,   gn,   sf}},
    {"recv",        {ns,   gn,   gn,   gn,   nr,   gn,   rs,   rs,   cf,   cc,   to,   gn,   gn,   sf}},
    {"send",        {ns,   gn,   gn,   gn,   nr,   gn,   rs,   rs,   cf,   cc,   to,   gn,   gn,   sf}},
    {"getsockopt",  {ns,   gn,   gn,   gn,   nr,   gn,   gn,   gn,   gn,   gn,   gn,   gn,   gn,   sf}},
    {"recvfrom",    {ns,   mt,   gn,   gn,   nr,   un,   gn,   up,   gn,   gn,   ut,   gn,   uh,   sf}},
    {"sendto",      {ns,   mt,   gn,   gn,   nr,   un,   gn,   up,   gn,   gn,   ut,   gn,   uh,   sf}},
};
static_assert(std::size(rows) == static_cast<std::size_t>(call::sendto) + 1);

outcome look_up(call c, int code) noexcept {
    const std::size_t column = platform::column_of(columns, code);
    return column < column_count ? rows[static_cast<std::size_t>(c)].cells[column] : outcome::unlisted;
}

[[noreturn]] void raise(outcome what, const std::string& message) {
    switch (what) {
        case outcome::not_a_socket: throw not_a_socket(message);
        case outcome::address_in_use: throw address_in_use(message);
        case outcome::address_not_valid: throw address_not_valid(message);
        case outcome::subsystem_not_ready: throw environment::subsystem_not_ready(message);
        case outcome::subsystem_failed: throw environment::subsystem_failed(message);
        case outcome::tcp_connection_failed: throw tcp::connection_failed(message);
        case outcome::tcp_connection_closed: throw tcp::connection_closed(message);
        case outcome::tcp_connection_refused: throw tcp::connection_refused(message);
        case outcome::tcp_connection_reset: throw tcp::connection_reset(message);
        case outcome::tcp_connection_timed_out: throw tcp::connection_timed_out(message);
        case outcome::tcp_network_unreachable: throw tcp::network_unreachable(message);
        case outcome::tcp_host_unreachable: throw tcp::host_unreachable(message);
        case outcome::udp_message_truncated: throw udp::message_truncated(message);
        case outcome::udp_operation_timed_out: throw udp::operation_timed_out(message);
        case outcome::udp_network_unreachable: throw udp::network_unreachable(message);
        case outcome::udp_host_unreachable: throw udp::host_unreachable(message);
        case outcome::udp_port_unreachable: throw udp::port_unreachable(message);
        case outcome::unlisted:
        case outcome::ignored: break;
    }
    throw generic(message);
}

}  // namespace

const char* name(call c) noexcept { return rows[static_cast<std::size_t>(c)].name; }

void check(call c, const std::error_code& ec) {
    if (!ec) return;
    int code = ec.value();
    outcome what = look_up(c, code);
    if (what == outcome::ignored) return;
    if (what == outcome::unlisted) raise(what, format("%s() returned status 0x%.8x", name(c), code));
    raise(what, std::string(name(c)) + "() failed");
}

int room_for(const address::base& out) noexcept {
    return dynamic_cast<const address::endpoint*>(&out) ? address::endpoint::capacity : out.size();
}

void take_address(call c, int length, address::base& out) {
    auto* any = dynamic_cast<address::endpoint*>(&out);
    if (any && (length == sizeof(sockaddr_in) || length == sizeof(sockaddr_in6))) {
        any->assign(any->data(), length);
        return;
    }
    if (length != out.size() || any)
        throw generic(format("%s() returned address of incorrect size %i (expected %i)", name(c), length,
                             any ? address::endpoint::capacity : out.size()));
}

}  // namespace corvid::internet::transport::detail
