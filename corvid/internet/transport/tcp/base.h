// SPDX-License-Identifier: MIT
#ifndef CORVID_INTERNET_TRANSPORT_TCP_BASE_H
#define CORVID_INTERNET_TRANSPORT_TCP_BASE_H

#include <corvid/internet/address/endpoint.h>
#include <corvid/internet/transport/base.h>
#include <corvid/line_scanner.h>

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvid::internet::transport::tcp {

// Sees the bytes a stream moves, for traces of a protocol: what each flush
// sends (before it goes out) and what each fill receives, as plaintext also
// on a TLS stream.
class byte_observer {
public:
    virtual ~byte_observer() = default;
    virtual void sent(std::string_view bytes) = 0;
    virtual void received(std::string_view bytes) = 0;
};

// A TCP stream: the connection operations and a buffered byte and line
// stream over them. Subclasses move the bytes: flush() sends the whole output
// buffer, fill() appends at least one received byte to the input buffer.
// Bytes received beyond the last line returned stay buffered for the next
// read or read_line.
// Failures throw connection_failed and its subclasses, transport and
// environment errors.
class base : public transport::base {
public:
    using connection_failed = tcp::connection_failed;
    using connection_closed = tcp::connection_closed;
    using connection_refused = tcp::connection_refused;
    using connection_reset = tcp::connection_reset;
    using connection_timed_out = tcp::connection_timed_out;
    using network_unreachable = tcp::network_unreachable;
    using host_unreachable = tcp::host_unreachable;
    using tls_failed = tcp::tls_failed;
    // A line grew past max_line_length() before its end arrived.
    CORVID_EXCEPTION(line_too_long, transport::generic, "line_too_long");

    using clock = std::chrono::steady_clock;

    // How many bytes read_line lets pile up without a line end before it
    // gives up, so that a peer cannot make it buffer without bound.
    static constexpr std::size_t default_max_line_length = std::size_t{1} << 20;

    ~base() override;

    void open(const address::base& address) override;
    void listen();
    // Takes the next connection waiting on listener. The stream has the
    // listener's receive and send time-outs, which the system copies: a
    // server sets them once on the listener rather than on every stream.
    void accept(base& listener);
    // Takes a connection waiting on a non-blocking listener (one that a
    // platform::connection_waiter watches), as accept() does, and stores its
    // peer's address in peer; false, with nothing changed, when none is
    // waiting after all.
    bool try_accept(base& listener, address::base& peer);
    // Blocks until the system's connect attempt ends.
    void connect(const address::base& peer);
    // Gives up after milliseconds (> 0) with connection_timed_out; fails
    // otherwise as the blocking form does. The socket blocks again
    // afterwards; after a time-out it is only good for closing.
    void connect(const address::base& peer, int milliseconds);
    // Connects to the first of endpoints that answers (RFC 8305): they are
    // tried in their order, each attempt on a socket of its own; one that
    // has not connected within delay_ms goes on while the next one starts,
    // and one that fails makes way for the next at once. The first
    // connection made replaces this stream's socket (no open() needed); the
    // others are dropped. milliseconds (> 0) bounds the whole, 0 leaves it
    // to the system's own time-outs. When none connects, throws what the
    // first attempt that got beyond this host met (a refusal, a reset), else
    // connection_timed_out when one was still going at the deadline, else
    // the first failure (no route for the family, say); address_not_valid
    // for an empty list.
    void connect(const std::vector<address::endpoint>& endpoints, int milliseconds, int delay_ms = 250);
    // Stops both directions, then closes; quiet on a socket that is not
    // connected or not open. A TLS stream first says goodbye in TLS.
    virtual void shutdown();
    // Ends the sending direction only, so that what was sent reaches the
    // peer before the socket goes; quiet when not connected.
    void shutdown_send() noexcept;
    // Stops both directions without closing, so that a receive or send
    // blocked in another thread returns; the one call that may come from
    // another thread while the socket is open.
    void interrupt() noexcept;
    // Fill out with the socket's own or its peer's address; return its size.
    int local_address(address::base& out);
    int peer_address(address::base& out);

    // Waits for one receive, then hands out everything buffered, less the
    // second half of a CR LF or LF CR whose first half ended the last line.
    void read(std::string& out);
    // Appends to out what is buffered, or when nothing is, what one receive
    // brings: for a protocol that finds its own line ends and wants its
    // input in large pieces.
    void read_some(std::string& out);
    // The next line without its end. CR, LF, CR LF and LF CR each end one
    // line, also when a pair is split across receives or calls. A failing
    // receive keeps what has arrived buffered; a line that grows past
    // max_line_length() before its end arrives throws line_too_long, and
    // skip_line() then drops it.
    void read_line(std::string& out);
    // The same, and tells which terminator ended the line. A CR or LF that is
    // the last byte received waits for one more receive to tell a pair from
    // a single end; if that receive fails, the line stays unread.
    void read_line(std::string& out, line_end& end);
    // Tells how the line read (or skipped) last ended. When that was a CR or LF received
    // as the last byte, so that read_line(out) could not yet tell a pair
    // from a single end, waits for the next byte and consumes it if it is
    // the second half. A failing receive leaves everything as it was.
    line_end settle_line_end();
    // Discards input up to and including the next line end, receiving as
    // needed; the discarded bytes are not kept, however many there are.
    void skip_line();
    // 0 means no limit.
    void set_max_line_length(std::size_t bytes) noexcept { max_line = bytes; }
    // Drops whatever was received and not yet read; returns how many bytes.
    // A protocol switch (STARTTLS) calls it so that bytes a peer sent ahead
    // of the switch are never taken as sent after it.
    std::size_t discard_input() noexcept;
    // nullptr stops the observing; a stream that takes over this one's
    // connection keeps the observer, which must outlive both.
    void observe(byte_observer* watcher) noexcept { observer = watcher; }
    std::size_t max_line_length() const noexcept { return max_line; }
    void write(std::string_view bytes, bool flush);
    // Writes text and CR LF.
    void write_line(std::string_view text, bool flush);

    virtual void flush() = 0;
    virtual void fill() = 0;

    // Until cleared, a receive or send of this stream that cannot finish by
    // `when` throws connection_timed_out, whatever the receive time-out.
    void set_deadline(clock::time_point when) noexcept { until = when; }
    void clear_deadline() noexcept { until.reset(); }
    std::optional<clock::time_point> deadline() const noexcept { return until; }

protected:
    base() = default;

    // Takes over the connection of connected: its socket, byte counters,
    // receive time-out, deadline and line limit; connected is left without a
    // socket. Refuses (tls_failed) while connected holds input not yet read
    // or output not yet sent, so that no plaintext crosses into the stream
    // that takes over.
    void take_over(base& connected);
    // The socket's own I/O, for flush() and fill(). receive_some receives
    // once into buffer and returns the count, at least 1 (0 only when size
    // is 0); an orderly close by the peer throws connection_closed.
    // send_all returns once all length bytes are sent. With a deadline set,
    // both wait no longer than until then; bytes sent before a time-out are
    // gone.
    std::size_t receive_some(char* buffer, std::size_t size);
    void send_all(const char* bytes, std::size_t length);
    // For fill(): adds received bytes to the input.
    void append_input(const char* bytes, std::size_t size);
    // For flush(): the output written so far; the buffer is left empty.
    std::string take_output();
    bool output_empty() const noexcept { return output_buffer.empty(); }

private:
    // settle_end: receive once more when a line's last byte buffered is a
    // CR or LF, to report a pair as a pair.
    void read_line(std::string& out, line_end& end, bool settle_end);
    // Drops the consumed front once it outweighs what is left, so that cutting
    // lines never copies the rest of the buffer more than a bounded number of
    // times per byte.
    void consume(std::size_t count);
    // Appends everything buffered to out, less the second half of a line end
    // pair whose first half ended the last line, and empties the buffer.
    void take_input(std::string& out);

    std::string output_buffer;
    // Unconsumed input is input_buffer[input_start...].
    std::string input_buffer;
    std::size_t input_start = 0;
    // Pairs the halves of CR LF and LF CR, also across receives and calls.
    line_scanner scanner;
    line_end last_end = line_end::none;
    std::size_t max_line = default_max_line_length;
    std::optional<clock::time_point> until;
    byte_observer* observer = nullptr;
};

}  // namespace corvid::internet::transport::tcp

#endif
