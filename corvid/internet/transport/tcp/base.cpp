#include <corvid/internet/transport/tcp/base.h>

#include <corvid/format.h>
#include <corvid/internet/transport/error_table.h>

#include <limits>

namespace corvid::internet::transport::tcp {

using detail::call;
using detail::check;

namespace {

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

void base::connect(const address::base& peer, int milliseconds) {
    std::error_code ec;
    if (platform::connect(handle.get(), peer.data(), static_cast<socklen_t>(peer.size()), milliseconds, ec))
        return;
    if (ec) return check(call::connect, ec);
    throw connection_timed_out("connect() failed");
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
    const char* bytes = input_buffer.data() + input_start;
    std::size_t size = input_buffer.size() - input_start;
    out.assign(bytes + scanner.pair_rest(bytes, size), bytes + size);
    input_buffer.clear();
    input_start = 0;
    last_end = line_end::none;
}

void base::read_line(std::string& out) {
    line_end end;
    read_line(out, end, false);
}

void base::read_line(std::string& out, line_end& end) { read_line(out, end, true); }

void base::read_line(std::string& out, line_end& end, bool settle_end) {
    std::size_t scanned = 0;  // bytes after the line's start known to hold no line end
    for (;;) {
        const char* bytes = input_buffer.data() + input_start;
        std::size_t size = input_buffer.size() - input_start;
        line_scanner before = scanner;
        line_scanner::line line = scanner.scan(bytes, size, scanned);
        if (line.found()) {
            if (settle_end && line.next == size && (line.end == line_end::cr || line.end == line_end::lf)) {
                // Only the next byte tells a single end from a pair. Until it
                // has come nothing is consumed, so that a failing receive
                // leaves the line for the next call.
                scanner = before;
                scanned = line.stop - line.start;
                fill();
                continue;
            }
            out.assign(bytes + line.start, bytes + line.stop);
            end = last_end = line.end;
            consume(line.next);
            return;
        }
        consume(line.start);
        scanned = size - line.start;
        if (max_line != 0 && scanned > max_line)
            throw line_too_long(format("read_line() found no line end within %zu bytes", max_line));
        fill();
    }
}

line_end base::settle_line_end() {
    char half = scanner.pending_half();
    if (half == 0) return last_end;
    if (input_start == input_buffer.size()) fill();
    const char* bytes = input_buffer.data() + input_start;
    std::size_t rest = scanner.pair_rest(bytes, input_buffer.size() - input_start);
    consume(rest);
    if (rest != 0) last_end = half == '\r' ? line_end::cr_lf : line_end::lf_cr;
    return last_end;
}

void base::skip_line() {
    for (;;) {
        const char* bytes = input_buffer.data() + input_start;
        line_scanner::line line = scanner.scan(bytes, input_buffer.size() - input_start);
        if (line.found()) {
            last_end = line.end;
            consume(line.next);
            return;
        }
        input_buffer.clear();
        input_start = 0;
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
