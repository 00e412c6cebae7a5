// SPDX-License-Identifier: MIT
#ifndef CORVID_TOOLS_IO_H
#define CORVID_TOOLS_IO_H

#include <corvid/exception.h>

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

// Whole-file input and output for the subcommands, binary-safe. A missing
// or unreadable file raises corvid::exception naming the file.
namespace corvid_tool {

// Reads FILE whole, or standard input when FILE is empty or "-".
std::string read_input(const std::string& file);

// Pieces of a fixed size, so that a file of any size passes in bounded memory.
inline constexpr std::size_t piece_size = 1 << 16;

// Calls take with each piece of FILE (or standard input, as above) in order.
void read_pieces(const std::string& file, const std::function<void(std::string_view)>& take);

// Runs FILE through a streaming conversion: step with each piece, then
// finish, writing the output whenever it has grown to a piece. Input shorter
// than a piece thus leaves standard output empty when it fails.
void pass_through(const std::string& file, const std::function<void(std::string_view, std::string&)>& step,
                  const std::function<void(std::string&)>& finish);

// Writes bytes to standard output exactly as given.
void write_output(const std::string& bytes);

// The time now as RFC 3339 gives it in UTC, to the millisecond:
// "2026-12-10T12:00:00.000Z".
std::string utc_time_stamp();

// Runs work; a library error leaves it with what failed in front of the
// library's own text ("cannot resolve \"x\": internet.address...").
template <typename Work>
decltype(auto) failing_as(const std::string& what, Work&& work) {
    try {
        return work();
    } catch (const corvid::exception& e) {
        if (*e.name() == '\0') throw;  // the tool's own words already say it
        throw corvid::exception(what + ": " + e.what());
    }
}

}  // namespace corvid_tool

#endif
