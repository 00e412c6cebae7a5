#ifndef CORVID_TOOLS_IO_H
#define CORVID_TOOLS_IO_H

#include <string>

// Whole-file input and output for the subcommands, binary-safe. A missing
// or unreadable file raises corvid::exception naming the file.
namespace corvid_tool {

// Reads FILE whole, or standard input when FILE is empty or "-".
std::string read_input(const std::string& file);

// Writes bytes to standard output exactly as given.
void write_output(const std::string& bytes);

}  // namespace corvid_tool

#endif
