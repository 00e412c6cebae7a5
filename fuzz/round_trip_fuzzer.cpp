// SPDX-License-Identifier: MIT
// Reads arbitrary bytes as a message, writes the tree and reads the result
// again. Any difference between the two trees (shape, media type, charset,
// boundary or decoded data) is a finding: a message must come through load
// and save unchanged. Input the library refuses is an expected answer; once
// a message was read, writing it and reading it back must not fail.

#include <corvid/exception.h>
#include <corvid/internet/message2/entity.h>
#include <tests/support/tree_difference.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using corvid::internet::message2::entity;
    entity first;
    try {
        first = entity(std::string(reinterpret_cast<const char*>(data), size));
    } catch (const corvid::exception&) {
        return 0;
    }
    // Through text, as save and load do.
    const entity second(first.write_text());
    const std::string difference = corvid::test::tree_difference(first, second);
    if (!difference.empty()) {
        std::fprintf(stderr, "round trip changed the tree at %s\n", difference.c_str());
        std::abort();
    }
    return 0;
}
