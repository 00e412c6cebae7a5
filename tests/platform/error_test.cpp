// SPDX-License-Identifier: MIT
#include <corvid/platform/error.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <netdb.h>
#include <set>

namespace {

using corvid::platform::from_errno;
using corvid::platform::from_resolver;
using corvid::platform::socket_errc;

TEST(socket_error, errno_values_map_onto_the_socket_numbers) {
    struct row {
        int error;
        int code;
    };
    const row rows[] = {
        {0, 0},
        {EBADF, 10038},         {ENOTSOCK, 10038},     {EMSGSIZE, 10040},
        {EADDRINUSE, 10048},    {EADDRNOTAVAIL, 10049}, {ENETDOWN, 10050},
        {ENETUNREACH, 10051},   {ENETRESET, 10052},    {ECONNABORTED, 10053},
        {ECONNRESET, 10054},    {EPIPE, 10054},        {ENOTCONN, 10057},
        {ESHUTDOWN, 10058},     {ETIMEDOUT, 10060},    {EAGAIN, 10060},
        {EWOULDBLOCK, 10060},   {ECONNREFUSED, 10061}, {EHOSTUNREACH, 10065},
        {EINVAL, 10022},        {EMFILE, 10024},       {ENOPROTOOPT, 10042},
        {EAFNOSUPPORT, 10047},  {ENOBUFS, 10055},      {EISCONN, 10056},
    };
    for (const auto& r : rows) EXPECT_EQ(from_errno(r.error), r.code) << "errno " << r.error;
}

TEST(socket_error, unmapped_values_stay_distinct_and_recognisable) {
    std::set<int> seen;
    for (int error : {ELOOP, EROFS, ENOSPC, EIO, EEXIST}) {
        int code = from_errno(error);
        EXPECT_EQ(code, corvid::platform::unmapped_errno_base + error);
        EXPECT_TRUE(seen.insert(code).second);
    }
    EXPECT_EQ(from_resolver(EAI_INTR, 0), corvid::platform::unmapped_resolver_base - EAI_INTR);
}

TEST(socket_error, resolver_results_map_onto_the_socket_numbers) {
    EXPECT_EQ(from_resolver(0, 0), 0);
    EXPECT_EQ(from_resolver(EAI_NONAME, 0), 11001);
    EXPECT_EQ(from_resolver(EAI_AGAIN, 0), 11002);
    EXPECT_EQ(from_resolver(EAI_FAIL, 0), 11003);
    EXPECT_EQ(from_resolver(EAI_NODATA, 0), 11004);
    EXPECT_EQ(from_resolver(EAI_SERVICE, 0), 10109);
    EXPECT_EQ(from_resolver(EAI_FAMILY, 0), 10047);
    // A system error is the errno it left.
    EXPECT_EQ(from_resolver(EAI_SYSTEM, ENETDOWN), 10050);
}

TEST(socket_error, codes_are_std_error_codes) {
    std::error_code ec = socket_errc::connection_refused;
    EXPECT_EQ(ec.value(), 10061);
    EXPECT_STREQ(ec.category().name(), "corvid.socket");
    EXPECT_EQ(ec.message(), "connection refused");
    EXPECT_EQ(corvid::platform::make_socket_error(0x2000000c).message(), "socket error 536870924");
    EXPECT_FALSE(std::error_code(socket_errc::success));
}

}  // namespace
