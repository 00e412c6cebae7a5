// SPDX-License-Identifier: MIT
#ifndef CORVID_TOOLS_COMMAND_OUTPUT_H
#define CORVID_TOOLS_COMMAND_OUTPUT_H

#include <string>
#include <vector>

namespace corvid_tool {

// Splits a command line into words as a shell would without expanding
// anything: blanks separate words, single quotes keep everything, double
// quotes keep all but a backslash before ", \ or $, a backslash outside
// quotes keeps the next character. An open quote throws corvid::exception.
std::vector<std::string> command_words(const std::string& line);

// Runs the command (its first word looked up in PATH, no shell) with
// standard input from /dev/null and returns the first line of its standard
// output, without the line end. Throws corvid::exception when it cannot be
// started, writes more than 64 KiB, runs past timeout_seconds (it is then
// killed) or exits other than with 0.
std::string first_output_line(const std::vector<std::string>& words, int timeout_seconds);

}  // namespace corvid_tool

#endif
