// SPDX-License-Identifier: MIT
#ifndef CORVID_FUZZ_REPLAY_STREAM_H
#define CORVID_FUZZ_REPLAY_STREAM_H

#include <corvid/internet/transport/tcp/base.h>

#include <cstddef>
#include <string>
#include <string_view>

namespace corvid::fuzz {

// A stream without a socket: receives hand out the input in pieces of at
// most max_piece bytes (0: all at once), then fail as a closed connection
// would; sends are kept.
class replay_stream : public internet::transport::tcp::base {
public:
    replay_stream(std::string_view input, std::size_t max_piece) : rest(input), max_piece(max_piece) {}

    void fill() override {
        if (rest.empty()) throw connection_closed("recv() failed");
        std::size_t piece = rest.size();
        if (max_piece != 0) {
            // A small generator, so that line ends fall on every kind of
            // boundary between receives.
            state = state * 1103515245u + 12345u;
            piece = 1 + (state >> 16) % max_piece;
            if (piece > rest.size()) piece = rest.size();
        }
        append_input(rest.data(), piece);
        rest.remove_prefix(piece);
    }

    void flush() override { sent += take_output(); }

    std::string sent;

private:
    std::string_view rest;
    std::size_t max_piece;
    unsigned state = 1;
};

}  // namespace corvid::fuzz

#endif
