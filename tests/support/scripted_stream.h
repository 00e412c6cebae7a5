// SPDX-License-Identifier: MIT
#ifndef CORVID_TESTS_SUPPORT_SCRIPTED_STREAM_H
#define CORVID_TESTS_SUPPORT_SCRIPTED_STREAM_H

// A TCP stream without a socket: its receives hand out scripted pieces, its
// sends are recorded. Once the pieces run out, a receive fails as a closed
// connection would.

#include <corvid/internet/transport/tcp/base.h>

#include <deque>
#include <string>
#include <vector>

namespace corvid::test {

class scripted_stream : public internet::transport::tcp::base {
public:
    explicit scripted_stream(std::deque<std::string> pieces = {}) : pieces(std::move(pieces)) {}

    void fill() override {
        if (pieces.empty()) throw connection_closed("recv() failed");
        append_input(pieces.front().data(), pieces.front().size());
        pieces.pop_front();
        ++fills;
    }
    void flush() override {
        if (!output_empty()) sent.push_back(take_output());
    }

    // What a socket's receive time-out would be, without a socket.
    void pretend_receive_timeout(int milliseconds) { receive_timeout_ms = milliseconds; }

    // Everything sent, joined.
    std::string output() const {
        std::string all;
        for (const std::string& s : sent) all += s;
        return all;
    }

    std::deque<std::string> pieces;
    std::vector<std::string> sent;
    int fills = 0;
};

}  // namespace corvid::test

#endif
