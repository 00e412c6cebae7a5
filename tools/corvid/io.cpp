// SPDX-License-Identifier: MIT
#include "io.h"

#include <corvid/exception.h>
#include <corvid/platform/file.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <cstring>
#include <unistd.h>

namespace corvid_tool {

namespace {

void read_file(const std::string& file, std::size_t size, const std::function<void(std::string_view)>& take) {
    namespace platform = corvid::platform;
    std::error_code ec;
    if (file.empty() || file == "-") {
        platform::read_pieces(STDIN_FILENO, size, take, ec);
        if (ec) throw corvid::exception("cannot read standard input: " + ec.message());
        return;
    }
    const platform::unique_file in = platform::open_file(file, platform::open_mode::read, ec);
    if (ec) throw corvid::exception("cannot open " + file + ": " + ec.message());
    platform::read_pieces(in.get(), size, take, ec);
    if (ec) throw corvid::exception("cannot read " + file + ": " + ec.message());
}

}  // namespace

std::string read_input(const std::string& file) {
    std::string bytes;
    read_file(file, 65536, [&](std::string_view piece) { bytes.append(piece); });
    return bytes;
}

void read_pieces(const std::string& file, const std::function<void(std::string_view)>& take) {
    read_file(file, piece_size, take);
}

void pass_through(const std::string& file, const std::function<void(std::string_view, std::string&)>& step,
                  const std::function<void(std::string&)>& finish) {
    std::string out;
    read_pieces(file, [&](std::string_view piece) {
        step(piece, out);
        if (out.size() >= piece_size) {
            write_output(out);
            out.clear();
        }
    });
    finish(out);
    write_output(out);
}

void write_output(const std::string& bytes) {
    if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size() || std::fflush(stdout) != 0)
        throw corvid::exception(std::string("cannot write standard output: ") + std::strerror(errno));
}

std::string utc_time_stamp() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900, utc.tm_mon + 1,
                  utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, static_cast<int>(millis));
    return stamp;
}

}  // namespace corvid_tool
