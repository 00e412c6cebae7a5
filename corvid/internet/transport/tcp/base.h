#ifndef CORVID_INTERNET_TRANSPORT_TCP_BASE_H
#define CORVID_INTERNET_TRANSPORT_TCP_BASE_H

#include <corvid/internet/transport/base.h>

#include <cstddef>
#include <string>
#include <string_view>

namespace corvid::internet::transport::tcp {

// A TCP stream: the connection operations and a buffered byte and line
// stream over them. Subclasses move the bytes: flush() sends the whole output
// buffer, fill() appends at least one received byte to the input buffer.
// Bytes received beyond the last line returned stay buffered for the next
// read or read_line.
// Failures throw connection_failed and its subclasses, transport and
// environment errors.
class base : public transport::base {
public:
    CORVID_EXCEPTION(connection_failed, transport::generic, "connection_failed");
    CORVID_EXCEPTION(connection_closed, connection_failed, "connection_closed");
    CORVID_EXCEPTION(connection_refused, connection_failed, "connection_refused");
    CORVID_EXCEPTION(connection_reset, connection_failed, "connection_reset");
    CORVID_EXCEPTION(connection_timed_out, connection_failed, "connection_timed_out");
    CORVID_EXCEPTION(network_unreachable, connection_failed, "network_unreachable");
    CORVID_EXCEPTION(host_unreachable, connection_failed, "host_unreachable");

    // How many bytes read_line lets pile up without a line end before it
    // gives up, so that a peer cannot make it buffer without bound.
    static constexpr std::size_t default_max_line_length = std::size_t{1} << 20;

    ~base() override;

    void open(const address::base& address) override;
    void listen();
    // Takes the next connection waiting on listener.
    void accept(base& listener);
    // Blocks until the system's connect attempt ends.
    void connect(const address::base& peer);
    // Stops both directions, then closes; quiet on a socket that is not
    // connected or not open.
    void shutdown();
    // Fill out with the socket's own or its peer's address; return its size.
    int local_address(address::base& out);
    int peer_address(address::base& out);

    // Waits for one receive, then hands out everything buffered.
    void read(std::string& out);
    // The next line without its end. CR, LF, CR LF and LF CR each end one
    // line, also when a pair is split across receives or calls. A failing
    // receive keeps what has arrived buffered; so does a line that grows past
    // max_line_length() before its end arrives, which throws generic.
    void read_line(std::string& out);
    // 0 means no limit.
    void set_max_line_length(std::size_t bytes) noexcept { max_line = bytes; }
    std::size_t max_line_length() const noexcept { return max_line; }
    void write(std::string_view bytes, bool flush);
    // Writes text and CR LF.
    void write_line(std::string_view text, bool flush);

    virtual void flush() = 0;
    virtual void fill() = 0;

protected:
    base() = default;

    // For fill(): adds received bytes to the input.
    void append_input(const char* bytes, std::size_t size);
    // For flush(): the output written so far; the buffer is left empty.
    std::string take_output();
    bool output_empty() const noexcept { return output_buffer.empty(); }

private:
    // Drops the consumed front once it outweighs what is left, so that cutting
    // lines never copies the rest of the buffer more than a bounded number of
    // times per byte.
    void consume(std::size_t count);

    std::string output_buffer;
    // Unconsumed input is input_buffer[input_start...].
    std::string input_buffer;
    std::size_t input_start = 0;
    // CR or LF that ended the last line returned, 0 once other bytes follow.
    char last_terminator = 0;
    std::size_t max_line = default_max_line_length;
};

}  // namespace corvid::internet::transport::tcp

#endif
