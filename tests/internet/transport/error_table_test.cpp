// SPDX-License-Identifier: MIT
#include <corvid/internet/transport/error_table.h>

#include "tests/support/sys_fault.h"

#include <corvid/format.h>
#include <corvid/internet/address/ip4.h>
#include <corvid/internet/environment/environment.h>
#include <corvid/internet/environment/startup.h>
#include <corvid/internet/transport/tcp/raw.h>
#include <corvid/internet/transport/udp/raw.h>
#include <corvid/platform/subsystem.h>

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace {

namespace env = corvid::internet::environment;
namespace sys = corvid::platform::sys;
using corvid::internet::address::ip4;
using corvid::internet::transport::tcp::raw;
using udp_raw = corvid::internet::transport::udp::raw;

// What each socket call raises for each error. The columns are the socket
// error numbers, produced here from the errno values that map onto them; the
// last column is a call made after the subsystem was stopped, the extra one
// an error that no row lists.
const int column_errno[] = {EBADF,     EMSGSIZE, EADDRINUSE, EADDRNOTAVAIL, ENETDOWN,     ENETUNREACH,
                            ENETRESET, ECONNRESET, ENOTCONN, ESHUTDOWN,     ETIMEDOUT,    ECONNREFUSED,
                            EHOSTUNREACH, 0 /* stopped */, EACCES};
const int column_code[] = {10038, 10040, 10048, 10049, 10050, 10051, 10052, 10054,
                           10057, 10058, 10060, 10061, 10065, 10093, 10013};

const std::map<std::string, std::string> classes = {
    {"ns", "internet.transport.not_a_socket"},
    {"iu", "internet.transport.address_in_use"},
    {"nv", "internet.transport.address_not_valid"},
    {"nr", "internet.environment.subsystem_not_ready"},
    {"sf", "internet.environment.subsystem_failed"},
    {"cf", "internet.transport.connection_failed"},
    {"cc", "internet.transport.connection_failed.connection_closed"},
    {"cr", "internet.transport.connection_failed.connection_refused"},
    {"rs", "internet.transport.connection_failed.connection_reset"},
    {"to", "internet.transport.connection_failed.connection_timed_out"},
    {"nu", "internet.transport.connection_failed.network_unreachable"},
    {"hu", "internet.transport.connection_failed.host_unreachable"},
    {"mt", "internet.transport.operation_failed.message_truncated"},
    {"ut", "internet.transport.operation_failed.operation_timed_out"},
    {"un", "internet.transport.operation_failed.network_unreachable"},
    {"uh", "internet.transport.operation_failed.host_unreachable"},
    {"up", "internet.transport.operation_failed.port_unreachable"},
};

// The objects an operation works on, made while the subsystem runs.
struct objects {
    ip4 loopback{"127.0.0.1", 9};
    ip4 out;
    raw stream;
    udp_raw datagram;
    objects() {
        stream.open(loopback);
        datagram.open(loopback);
    }
};

struct row {
    const char* call;
    std::function<void(sys::table&, int)> inject;
    std::function<void(objects&)> operation;
    // "--" for generic with "returned status", "ig" for ignored.
    std::vector<const char*> cells;
};

template <typename Entry>
std::function<void(sys::table&, int)> failing(Entry sys::table::*entry) {
    return [entry](sys::table& calls, int error) { corvid::test::fail_with(calls.*entry, error); };
}

const std::vector<row>& table() {
    static const std::vector<row> rows = {
        //                                                38    40    48    49    50    51    52    54    57    58    60    61    65    93    other
        {"bind", failing(&sys::table::bind), [](objects& o) { o.stream.bind(o.loopback); },
         {"ns", "--", "iu", "nv", "nr", "--", "--", "--", "--", "--", "--", "--", "--", "sf", "--"}},
        {"setsockopt", failing(&sys::table::setsockopt), [](objects& o) { o.stream.set_receive_timeout(100); },
         {"ns", "--", "--", "--", "nr", "--", "--", "--", "--", "--", "--", "--", "--", "sf", "--"}},
        {"setsockopt", failing(&sys::table::setsockopt), [](objects& o) { o.datagram.set_send_buffer_size(4096); },
         {"ns", "--", "--", "--", "nr", "--", "--", "--", "--", "--", "--", "--", "--", "sf", "--"}},
        {"closesocket", failing(&sys::table::close), [](objects& o) { o.stream.close(); },
         {"ig", "--", "--", "--", "nr", "--", "--", "--", "--", "--", "--", "--", "--", "sf", "--"}},
        {"socket", failing(&sys::table::socket), [](objects& o) { raw().open(o.loopback); },
         {"--", "--", "--", "--", "nr", "--", "--", "--", "--", "--", "--", "--", "--", "sf", "--"}},
        {"socket", failing(&sys::table::socket), [](objects& o) { udp_raw().open(o.loopback); },
         {"--", "--", "--", "--", "nr", "--", "--", "--", "--", "--", "--", "--", "--", "sf", "--"}},
        {"listen", failing(&sys::table::listen), [](objects& o) { o.stream.listen(); },
         {"ns", "--", "iu", "nv", "nr", "--", "--", "--", "--", "--", "--", "--", "--", "sf", "--"}},
        {"accept", failing(&sys::table::accept4), [](objects& o) { raw().accept(o.stream); },
         {"ns", "--", "--", "--", "nr", "--", "--", "cc", "--", "--", "--", "--", "--", "sf", "--"}},
        {"connect", failing(&sys::table::connect), [](objects& o) { o.stream.connect(o.loopback); },
         {"ns", "--", "iu", "nv", "nr", "nu", "--", "--", "--", "--", "--", "cr", "hu", "sf", "--"}},
        {"shutdown", failing(&sys::table::shutdown), [](objects& o) { o.stream.shutdown(); },
         {"ig", "--", "--", "--", "nr", "--", "--", "--", "ig", "--", "--", "--", "--", "sf", "--"}},
        {"getsockname", failing(&sys::table::getsockname), [](objects& o) { o.stream.local_address(o.out); },
         {"ns", "--", "--", "--", "nr", "--", "--", "--", "cf", "--", "--", "--", "--", "sf", "--"}},
        {"getpeername", failing(&sys::table::getpeername), [](objects& o) { o.stream.peer_address(o.out); },
         {"ns", "--", "--", "--", "nr", "--", "--", "--", "cf", "--", "--", "--", "--", "sf", "--"}},
        {"recv", failing(&sys::table::recv), [](objects& o) { char b[4]; o.stream.receive_some(b, sizeof b); },
         {"ns", "--", "--", "--", "nr", "--", "rs", "rs", "cf", "cc", "to", "--", "--", "sf", "--"}},
        {"recv", failing(&sys::table::recv), [](objects& o) { std::string line; o.stream.read_line(line); },
         {"ns", "--", "--", "--", "nr", "--", "rs", "rs", "cf", "cc", "to", "--", "--", "sf", "--"}},
        {"send", failing(&sys::table::send), [](objects& o) { o.stream.send_all("x", 1); },
         {"ns", "--", "--", "--", "nr", "--", "rs", "rs", "cf", "cc", "to", "--", "--", "sf", "--"}},
        {"send", failing(&sys::table::send), [](objects& o) { o.stream.write_line("QUIT", true); },
         {"ns", "--", "--", "--", "nr", "--", "rs", "rs", "cf", "cc", "to", "--", "--", "sf", "--"}},
        {"getsockopt", failing(&sys::table::getsockopt), [](objects& o) { o.datagram.max_message_size(); },
         {"ns", "--", "--", "--", "nr", "--", "--", "--", "--", "--", "--", "--", "--", "sf", "--"}},
        {"recvfrom", failing(&sys::table::recvfrom), [](objects& o) { std::string b; o.datagram.receive_from(o.out, b); },
         {"ns", "mt", "--", "--", "nr", "un", "--", "up", "--", "--", "ut", "--", "uh", "sf", "--"}},
        {"sendto", failing(&sys::table::sendto), [](objects& o) { o.datagram.send_to(o.loopback, "x"); },
         {"ns", "mt", "--", "--", "nr", "un", "--", "up", "--", "--", "ut", "--", "uh", "sf", "--"}},
    };
    return rows;
}

// name() and message() of what the operation threw, or "ignored".
std::string outcome(const row& r, std::size_t column) {
    env::startup scope;
    objects o;
    corvid::test::sys_guard guard;
    bool stopped = column_errno[column] == 0;
    if (stopped)
        env::cleanup();
    else
        r.inject(sys::calls(), column_errno[column]);
    std::string result = "ignored";
    try {
        r.operation(o);
    } catch (const corvid::exception& e) {
        result = std::string(e.name()) + " " + e.message();
    }
    std::error_code restarted;
    if (stopped) corvid::platform::startup(restarted);  // for the scope to stop
    return result;
}

TEST(transport_error_table, every_row_and_column) {
    for (const row& r : table()) {
        ASSERT_EQ(r.cells.size(), std::size(column_errno));
        for (std::size_t column = 0; column < r.cells.size(); ++column) {
            std::string cell = r.cells[column];
            std::string expected;
            if (cell == "ig")
                expected = "ignored";
            else if (cell == "--")
                expected = corvid::format("internet.transport %s() returned status 0x%.8x", r.call,
                                          column_code[column]);
            else
                expected = classes.at(cell) + " " + r.call + "() failed";
            EXPECT_EQ(outcome(r, column), expected) << r.call << ", code " << column_code[column];
        }
    }
}

TEST(transport_error_table, connect_time_out_is_a_plain_transport_error) {
    // A system-level connect time-out is not connection_timed_out.
    row connect = table()[8];
    ASSERT_STREQ(connect.call, "connect");
    EXPECT_EQ(outcome(connect, 10), "internet.transport connect() returned status 0x0000274c");
}

}  // namespace
