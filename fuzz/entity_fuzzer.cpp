// SPDX-License-Identifier: MIT
// Reads arbitrary bytes as a message, writes the tree and reads what was
// written again, touching the inspection operations on the way. The bytes
// are also read as a list of lines, line by line, which must build the same
// tree as reading the text, whose sections are decoded whole. Library
// errors are expected answers to bad input; anything else (a crash, a
// sanitizer report, a leak, an escaping std exception) is a finding.

#include <corvid/exception.h>
#include <corvid/internet/message2/entity.h>
#include <corvid/line_reader.h>
#include <tests/support/tree_difference.h>

#include <cstdio>
#include <cstdlib>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace {

using corvid::internet::message2::entity;

void inspect(entity& message) {
    for (auto& [depth, entry] : message.enumerate_parts(false)) {
        static_cast<void>(depth);
        try {
            static_cast<void>(entry.part->attachment());
            static_cast<void>(entry.part->transfer_encoding());
            static_cast<void>(entry.part->body.text());
        } catch (const corvid::exception&) {
        }
    }
}

// The tree read from lines, or an empty optional when reading threw.
template <typename Input>
std::optional<entity> read(const Input& input) {
    try {
        return entity(input);
    } catch (const corvid::exception&) {
        return std::nullopt;
    }
}

void compare_with_lines(const std::string& text) {
    std::vector<std::string> cut;
    corvid::line_reader reader(text);
    reader.finish();
    reader.get_lines(cut);
    const std::optional<entity> from_text = read(std::string_view(text));
    const std::optional<entity> from_lines = read(cut);
    if (from_text.has_value() != from_lines.has_value() ||
        (from_text && !corvid::test::tree_difference(*from_text, *from_lines).empty())) {
        std::fprintf(stderr, "text and lines read differently\n");
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    compare_with_lines(text);
    try {
        entity first(text);
        inspect(first);
        const std::vector<std::string> lines = first.write();
        entity second(lines);
        inspect(second);
        static_cast<void>(second.write());
    } catch (const corvid::exception&) {
    }
    return 0;
}
