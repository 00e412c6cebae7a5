// SPDX-License-Identifier: MIT
#include <corvid/platform/status_table.h>

#include <corvid/format.h>
#include <corvid/platform/error.h>

#include <cstddef>
#include <iterator>

namespace corvid::platform {

namespace {

enum class family : unsigned char { address, environment };

// Short names so that the table below reads as a table; gn stands for the
// family's generic class.
constexpr status_outcome gn = status_outcome::address_generic, ig = status_outcome::ignored,
                         nr = status_outcome::subsystem_not_ready, sf = status_outcome::subsystem_failed,
                         vn = status_outcome::version_not_supported, hn = status_outcome::host_not_found,
                         sn = status_outcome::service_not_found;

// The columns, each with the tag that heads it in the table.
constexpr socket_errc columns[] = {
    socket_errc::network_down,           // down
    socket_errc::system_not_ready,       // nrdy
    socket_errc::version_not_supported,  // vers
    socket_errc::not_initialised,        // init
    socket_errc::type_not_found,         // type
    socket_errc::host_not_found,         // host
    socket_errc::no_data,                // data
};
constexpr std::size_t column_count = std::size(columns);

struct row {
    const char* name;
    family kind;
    status_outcome cells[column_count];
};

constexpr row rows[] = {
    //                                     down  nrdy  vers  init  type  host  data
    {"GetAddrInfoA", family::address,     {gn,   gn,   gn,   nr,   sn,   hn,   hn}},
    {"GetNameInfoA", family::address,     {gn,   gn,   gn,   nr,   gn,   hn,   hn}},
    {"gethostname",  family::environment, {sf,   nr,   gn,   nr,   gn,   gn,   gn}},
    {"WSAStartup",   family::environment, {gn,   nr,   vn,   gn,   gn,   gn,   gn}},
    {"WSACleanup",   family::environment, {sf,   gn,   gn,   ig,   gn,   gn,   gn}},
};
static_assert(std::size(rows) == static_cast<std::size_t>(status_call::cleanup) + 1);

}  // namespace

status_verdict judge(status_call c, const std::error_code& ec) {
    if (!ec) return {};
    const row& r = rows[static_cast<std::size_t>(c)];
    const int code = ec.value();
    const std::size_t column = column_of(columns, code);
    const status_outcome what = column < column_count ? r.cells[column] : gn;
    if (what == status_outcome::ignored) return {};
    if (what != gn) return {what, std::string(r.name) + "() failed"};
    return {r.kind == family::address ? status_outcome::address_generic : status_outcome::environment_generic,
            format("%s() returned status 0x%.8x", r.name, code)};
}

}  // namespace corvid::platform
