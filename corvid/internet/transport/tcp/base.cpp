#include <corvid/internet/transport/tcp/base.h>

#include <corvid/format.h>
#include <corvid/internet/transport/error_table.h>

#include <cstring>
#include <limits>

namespace corvid::internet::transport::tcp {

using detail::call;
using detail::check;

namespace {

constexpr char cr = '\r';
constexpr char lf = '\n';

// Both queries check that the system filled in the whole record.
int query_address(call c, socklen_t (*query)(platform::native_socket, sockaddr*, socklen_t,
                                             std::error_code&) noexcept,
                  platform::native_socket s, address::base& out) {
    std::error_code ec;
    auto length = static_cast<int>(query(s, out.data(), static_cast<socklen_t>(out.size()), ec));
    check(c, ec);
    if (length != out.size())
        throw generic(format("%s() returned address of incorrect size %i (expected %i)", detail::name(c),
                             length, out.size()));
    return length;
}

}  // namespace

base::~base() = default;

void base::open(const address::base& address) { open_socket(address, SOCK_STREAM); }

void base::listen() {
    std::error_code ec;
    // The system cuts the backlog down to the largest it allows.
    platform::listen(handle.get(), std::numeric_limits<int>::max(), ec);
    check(call::listen, ec);
}

void base::accept(base& listener) {
    std::error_code ec;
    handle = platform::accept(listener.handle.get(), ec);
    check(call::accept, ec);
}

void base::connect(const address::base& peer) {
    std::error_code ec;
    platform::connect(handle.get(), peer.data(), static_cast<socklen_t>(peer.size()), ec);
    check(call::connect, ec);
}

void base::shutdown() {
    std::error_code ec;
    platform::shutdown(handle.get(), SHUT_RDWR, ec);
    check(call::shutdown, ec);
    close();
}

int base::local_address(address::base& out) {
    return query_address(call::getsockname, platform::local_address, handle.get(), out);
}

int base::peer_address(address::base& out) {
    return query_address(call::getpeername, platform::peer_address, handle.get(), out);
}

void base::read(std::string& out) {
    fill();
    out.assign(input_buffer, input_start);
    input_buffer.clear();
    input_start = 0;
    // The caller has seen whatever followed the last line end.
    if (!out.empty()) last_terminator = 0;
}

void base::read_line(std::string& out) {
    std::size_t scanned = 0;  // bytes after input_start known to hold no line end
    for (;;) {
        if (scanned == 0 && last_terminator != 0) {
            // The second half of a CR LF or LF CR pair whose first half ended
            // the previous line belongs to that line end.
            if (input_start < input_buffer.size()) {
                char c = input_buffer[input_start];
                if ((c == cr || c == lf) && c != last_terminator) {
                    consume(1);
                    last_terminator = 0;
                    continue;
                }
            }
        }
        const char* begin = input_buffer.data() + input_start + scanned;
        std::size_t left = input_buffer.size() - input_start - scanned;
        const char* found = nullptr;
        for (char t : {cr, lf}) {
            auto* at = static_cast<const char*>(std::memchr(begin, t, left));
            if (at != nullptr && (found == nullptr || at < found)) found = at;
            if (found != nullptr) left = static_cast<std::size_t>(found - begin);
        }
        if (found != nullptr) {
            auto length = static_cast<std::size_t>(found - (input_buffer.data() + input_start));
            out.assign(input_buffer, input_start, length);
            last_terminator = *found;
            consume(length + 1);
            return;
        }
        scanned = input_buffer.size() - input_start;
        if (scanned != 0) last_terminator = 0;
        if (max_line != 0 && scanned > max_line)
            throw generic(format("read_line() found no line end within %zu bytes", max_line));
        fill();
    }
}

void base::write(std::string_view bytes, bool flush) {
    output_buffer.append(bytes);
    if (flush) this->flush();
}

void base::write_line(std::string_view text, bool flush) {
    output_buffer.append(text);
    output_buffer += "\r\n";
    if (flush) this->flush();
}

void base::append_input(const char* bytes, std::size_t size) { input_buffer.append(bytes, size); }

std::string base::take_output() {
    std::string taken;
    taken.swap(output_buffer);
    return taken;
}

void base::consume(std::size_t count) {
    input_start += count;
    if (input_start == input_buffer.size()) {
        input_buffer.clear();
        input_start = 0;
    } else if (input_start >= 4096 && input_start >= input_buffer.size() - input_start) {
        input_buffer.erase(0, input_start);
        input_start = 0;
    }
}

}  // namespace corvid::internet::transport::tcp
