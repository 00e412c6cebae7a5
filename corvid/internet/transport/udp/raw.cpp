// SPDX-License-Identifier: MIT
#include <corvid/internet/transport/udp/raw.h>

#include <corvid/format.h>
#include <corvid/internet/transport/error_table.h>

namespace corvid::internet::transport::udp {

using detail::call;
using detail::check;

raw::~raw() = default;

void raw::open(const address::base& address) { open_socket(address, SOCK_DGRAM); }

int raw::max_message_size() {
    int value = 0;
    socklen_t length = sizeof value;
    std::error_code ec;
    platform::get_option(handle.get(), SOL_SOCKET, platform::so_max_msg_size, &value, &length, ec);
    check(call::getsockopt, ec);
    if (length != sizeof value)
        throw generic(format("getsockopt() returned result of incorrect size %i (expected %i)",
                             static_cast<int>(length), static_cast<int>(sizeof value)));
    return value;
}

void raw::receive_from(address::base& from, std::string& buffer) {
    buffer.resize(buffer.capacity());
    auto length = static_cast<socklen_t>(detail::room_for(from));
    std::error_code ec;
    std::size_t count = platform::receive_from(handle.get(), buffer.data(), buffer.size(), from.data(), &length, ec);
    check(call::recvfrom, ec);
    detail::take_address(call::recvfrom, static_cast<int>(length), from);
    received += count;
    buffer.resize(count);
}

std::size_t raw::send_to(const address::base& to, std::string_view data) {
    std::error_code ec;
    std::size_t count =
        platform::send_to(handle.get(), data.data(), data.size(), to.data(), static_cast<socklen_t>(to.size()), ec);
    check(call::sendto, ec);
    if (count < data.size()) throw message_truncated("sendto() failed");
    sent += count;
    return count;
}

}  // namespace corvid::internet::transport::udp
