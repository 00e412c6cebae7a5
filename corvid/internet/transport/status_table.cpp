#include <corvid/internet/transport/status_table.h>

#include <corvid/format.h>
#include <corvid/internet/address/errors.h>
#include <corvid/internet/environment/errors.h>
#include <corvid/internet/transport/error_table.h>
#include <corvid/platform/error.h>

#include <cstddef>
#include <iterator>
#include <string>

namespace corvid::internet::transport::detail {

namespace {

using platform::socket_errc;

enum class outcome : unsigned char {
    unlisted,
    ignored,
    subsystem_not_ready,
    subsystem_failed,
    version_not_supported,
    host_not_found,
    service_not_found,
};

enum class family : unsigned char { address, environment };

// Short names so that the table below reads as a table.
constexpr outcome gn = outcome::unlisted, ig = outcome::ignored, nr = outcome::subsystem_not_ready,
                  sf = outcome::subsystem_failed, vn = outcome::version_not_supported,
                  hn = outcome::host_not_found, sn = outcome::service_not_found;

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
    outcome cells[column_count];
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

outcome look_up(const row& r, int code) noexcept {
    const std::size_t column = column_of(columns, code);
    return column < column_count ? r.cells[column] : outcome::unlisted;
}

[[noreturn]] void raise(outcome what, family kind, const std::string& message) {
    switch (what) {
        case outcome::subsystem_not_ready: throw environment::subsystem_not_ready(message);
        case outcome::subsystem_failed: throw environment::subsystem_failed(message);
        case outcome::version_not_supported: throw environment::version_not_supported(message);
        case outcome::host_not_found: throw address::host_not_found(message);
        case outcome::service_not_found: throw address::service_not_found(message);
        case outcome::unlisted:
        case outcome::ignored: break;
    }
    if (kind == family::address) throw address::generic(message);
    throw environment::generic(message);
}

}  // namespace

void check(status_call c, const std::error_code& ec) {
    if (!ec) return;
    const row& r = rows[static_cast<std::size_t>(c)];
    const int code = ec.value();
    const outcome what = look_up(r, code);
    if (what == outcome::ignored) return;
    if (what == outcome::unlisted) raise(what, r.kind, format("%s() returned status 0x%.8x", r.name, code));
    raise(what, r.kind, std::string(r.name) + "() failed");
}

}  // namespace corvid::internet::transport::detail
