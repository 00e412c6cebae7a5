// SPDX-License-Identifier: MIT
#include <corvid/internet/transport/tcp/raw.h>

namespace corvid::internet::transport::tcp {

raw::~raw() = default;

void raw::flush() {
    if (output_empty()) return;
    std::string block = take_output();
    send_all(block.data(), block.size());
}

void raw::fill() {
    // Large enough that a message's text arrives in few receives.
    char block[65536];
    std::size_t count = receive_some(block, sizeof block);
    append_input(block, count);
}

}  // namespace corvid::internet::transport::tcp
