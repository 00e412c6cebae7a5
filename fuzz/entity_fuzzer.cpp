// Reads arbitrary bytes as a message, writes the tree and reads what was
// written again, touching the inspection operations on the way. Library
// errors are expected answers to bad input; anything else (a crash, a
// sanitizer report, a leak, an escaping std exception) is a finding.

#include <corvid/exception.h>
#include <corvid/internet/message2/entity.h>

#include <cstddef>
#include <cstdint>
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    try {
        entity first(std::string(reinterpret_cast<const char*>(data), size));
        inspect(first);
        const std::vector<std::string> lines = first.write();
        entity second(lines);
        inspect(second);
        static_cast<void>(second.write());
    } catch (const corvid::exception&) {
    }
    return 0;
}
