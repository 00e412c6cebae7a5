#include "io.h"

#include <corvid/exception.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace corvid_tool {

namespace {

void read_stream(std::FILE* in, const std::string& label, std::size_t size,
                 const std::function<void(std::string_view)>& take) {
    std::string block(size, '\0');
    std::size_t got;
    while ((got = std::fread(block.data(), 1, block.size(), in)) > 0) take(std::string_view(block.data(), got));
    if (std::ferror(in)) throw corvid::exception("cannot read " + label + ": " + std::strerror(errno));
}

void read_file(const std::string& file, std::size_t size, const std::function<void(std::string_view)>& take) {
    if (file.empty() || file == "-") return read_stream(stdin, "standard input", size, take);
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> in(std::fopen(file.c_str(), "rb"), &std::fclose);
    if (!in) throw corvid::exception("cannot open " + file + ": " + std::strerror(errno));
    read_stream(in.get(), file, size, take);
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

}  // namespace corvid_tool
