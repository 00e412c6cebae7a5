#include <corvid/internet/transport/tcp/raw.h>

#include <corvid/internet/transport/error_table.h>
#include <corvid/platform/error.h>

namespace corvid::internet::transport::tcp {

using detail::call;
using detail::check;

raw::~raw() = default;

void raw::flush() {
    if (output_empty()) return;
    std::string block = take_output();
    send_all(block.data(), block.size());
}

void raw::fill() {
    char block[4096];
    std::size_t count = receive_some(block, sizeof block);
    append_input(block, count);
}

std::size_t raw::receive_some(char* buffer, std::size_t size) {
    if (size == 0) return 0;  // nothing asked: not to be taken for a close
    std::error_code ec;
    std::size_t count = 0;
    if (auto until = deadline()) {
        // Waiting in poll rather than in recv lets the deadline win over the
        // socket's receive time-out.
        do {
            if (!platform::wait_readable(handle.get(), *until, ec)) {
                check(call::recv, ec);
                throw connection_timed_out("recv() failed");
            }
            count = platform::try_receive(handle.get(), buffer, size, ec);
        } while (ec == platform::socket_errc::would_block);
    } else {
        count = platform::receive(handle.get(), buffer, size, ec);
    }
    check(call::recv, ec);
    if (count == 0) throw connection_closed("recv() failed");
    received += count;
    return count;
}

void raw::send_all(const char* bytes, std::size_t length) {
    auto until = deadline();
    if (until && length != 0 && clock::now() >= *until) throw connection_timed_out("send() failed");
    std::size_t done = 0;
    while (done < length) {
        std::error_code ec;
        std::size_t count = 0;
        if (until) {
            count = platform::try_send(handle.get(), bytes + done, length - done, ec);
            if (ec == platform::socket_errc::would_block) {
                if (!platform::wait_writable(handle.get(), *until, ec)) {
                    check(call::send, ec);
                    throw connection_timed_out("send() failed");
                }
                continue;
            }
        } else {
            count = platform::send(handle.get(), bytes + done, length - done, ec);
        }
        check(call::send, ec);
        if (count == 0) throw connection_closed("send() failed");
        sent += count;
        done += count;
    }
}

}  // namespace corvid::internet::transport::tcp
