// SPDX-License-Identifier: MIT
#include <corvid/internet/transport/tcp/base.h>

#include <corvid/format.h>
#include <corvid/internet/transport/error_table.h>

#include <corvid/platform/error.h>

#include <algorithm>
#include <limits>
#include <utility>

namespace corvid::internet::transport::tcp {

using detail::call;
using detail::check;

namespace {

// Both queries check that the system filled in a whole record.
int query_address(call c, socklen_t (*query)(platform::native_socket, sockaddr*, socklen_t,
                                             std::error_code&) noexcept,
                  platform::native_socket s, address::base& out) {
    std::error_code ec;
    auto length = static_cast<int>(query(s, out.data(), static_cast<socklen_t>(detail::room_for(out)), ec));
    check(c, ec);
    detail::take_address(c, length, out);
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
    receive_timeout_ms = listener.receive_timeout_ms;
}

bool base::try_accept(base& listener, address::base& peer) {
    std::error_code ec;
    auto length = static_cast<socklen_t>(detail::room_for(peer));
    platform::unique_socket accepted = platform::try_accept(listener.handle.get(), peer.data(), &length, ec);
    if (ec == platform::socket_errc::would_block) return false;
    check(call::accept, ec);
    detail::take_address(call::accept, static_cast<int>(length), peer);
    handle = std::move(accepted);
    receive_timeout_ms = listener.receive_timeout_ms;
    return true;
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

namespace {

// Failures that say only that this host cannot use the address (no route,
// no such family here): another address's failure tells more.
bool local_failure(const std::error_code& ec) noexcept {
    using platform::socket_errc;
    return ec == socket_errc::address_family_not_supported || ec == socket_errc::protocol_family_not_supported ||
           ec == socket_errc::network_unreachable || ec == socket_errc::address_not_available;
}

// The failure to report when no attempt connects.
struct first_failure {
    call at = call::connect;
    std::error_code ec;

    void note(call c, const std::error_code& failure) noexcept {
        if (!ec || (local_failure(ec) && !local_failure(failure))) {
            at = c;
            ec = failure;
        }
    }
};

}  // namespace

void base::connect(const std::vector<address::endpoint>& endpoints, int milliseconds, int delay_ms) {
    if (endpoints.empty()) throw address_not_valid("connect() given no address");
    const auto delay = std::chrono::milliseconds(std::max(delay_ms, 0));
    const clock::time_point until =
        milliseconds > 0 ? clock::now() + std::chrono::milliseconds(milliseconds) : clock::time_point::max();
    std::vector<platform::unique_socket> pending;
    std::vector<platform::native_socket> waiting;
    std::size_t next = 0;
    clock::time_point next_start = clock::now();
    first_failure failure;
    for (;;) {
        const clock::time_point now = clock::now();
        if (now >= until) break;
        if (next < endpoints.size() && (pending.empty() || now >= next_start) &&
            pending.size() < platform::max_wait_descriptors) {
            const address::endpoint& to = endpoints[next++];
            std::error_code ec;
            platform::unique_socket attempt = platform::open_socket(to.data()->sa_family, SOCK_STREAM, 0, ec);
            if (!ec && platform::start_connect(attempt.get(), to.data(), static_cast<socklen_t>(to.size()), ec)) {
                handle = std::move(attempt);
                return;
            }
            if (ec) {
                failure.note(attempt.valid() ? call::connect : call::socket, ec);
                continue;
            }
            pending.push_back(std::move(attempt));
            next_start = clock::now() + delay;
            continue;
        }
        if (pending.empty()) break;
        waiting.clear();
        for (const auto& attempt : pending) waiting.push_back(attempt.get());
        std::error_code ec;
        const std::size_t ready = platform::wait_writable_any(
            waiting.data(), waiting.size(), next < endpoints.size() ? std::min(until, next_start) : until, ec);
        check(call::connect, ec);  // the wait itself failed: nothing else would go better
        if (ready == waiting.size()) continue;
        platform::finish_connect(waiting[ready], ec);
        if (!ec) {
            handle = std::move(pending[ready]);
            return;
        }
        failure.note(call::connect, ec);
        pending.erase(pending.begin() + static_cast<std::ptrdiff_t>(ready));
        next_start = clock::now();
    }
    // An attempt still going at the deadline tells more than one that found
    // no route here.
    if (pending.empty() || !local_failure(failure.ec)) check(failure.at, failure.ec);
    throw connection_timed_out("connect() failed");
}

void base::take_over(base& connected) {
    if (connected.input_start < connected.input_buffer.size() || !connected.output_buffer.empty())
        throw tls_failed("cannot take over a connection with unread input or unsent output");
    handle = std::move(connected.handle);
    received = std::exchange(connected.received, 0);
    sent = std::exchange(connected.sent, 0);
    receive_timeout_ms = connected.receive_timeout_ms;
    until = connected.until;
    max_line = connected.max_line;
    observer = connected.observer;
}

std::size_t base::discard_input() noexcept {
    const std::size_t dropped = input_buffer.size() - input_start;
    input_buffer.clear();
    input_start = 0;
    scanner = line_scanner();
    last_end = line_end::none;
    return dropped;
}

std::size_t base::receive_some(char* buffer, std::size_t size) {
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

void base::send_all(const char* bytes, std::size_t length) {
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

void base::shutdown() {
    std::error_code ec;
    platform::shutdown(handle.get(), SHUT_RDWR, ec);
    check(call::shutdown, ec);
    close();
}

void base::shutdown_send() noexcept {
    std::error_code ec;
    platform::shutdown(handle.get(), SHUT_WR, ec);
}

void base::interrupt() noexcept {
    std::error_code ec;
    platform::shutdown(handle.get(), SHUT_RDWR, ec);
}

int base::local_address(address::base& out) {
    return query_address(call::getsockname, platform::local_address, handle.get(), out);
}

int base::peer_address(address::base& out) {
    return query_address(call::getpeername, platform::peer_address, handle.get(), out);
}

void base::read(std::string& out) {
    fill();
    out.clear();
    take_input(out);
}

void base::read_some(std::string& out) {
    if (input_start == input_buffer.size()) fill();
    take_input(out);
}

void base::take_input(std::string& out) {
    const char* bytes = input_buffer.data() + input_start;
    std::size_t size = input_buffer.size() - input_start;
    out.append(bytes + scanner.pair_rest(bytes, size), bytes + size);
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

void base::append_input(const char* bytes, std::size_t size) {
    input_buffer.append(bytes, size);
    if (observer) observer->received(std::string_view(bytes, size));
}

std::string base::take_output() {
    std::string taken;
    taken.swap(output_buffer);
    if (observer) observer->sent(taken);
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
