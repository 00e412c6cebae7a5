#include "io.h"

#include <corvid/exception.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace corvid_tool {

namespace {

std::string read_stream(std::FILE* in, const std::string& label) {
    std::string bytes;
    char block[65536];
    std::size_t got;
    while ((got = std::fread(block, 1, sizeof block, in)) > 0) bytes.append(block, got);
    if (std::ferror(in)) throw corvid::exception("cannot read " + label + ": " + std::strerror(errno));
    return bytes;
}

}  // namespace

std::string read_input(const std::string& file) {
    if (file.empty() || file == "-") return read_stream(stdin, "standard input");
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> in(std::fopen(file.c_str(), "rb"), &std::fclose);
    if (!in) throw corvid::exception("cannot open " + file + ": " + std::strerror(errno));
    return read_stream(in.get(), file);
}

void write_output(const std::string& bytes) {
    if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size() || std::fflush(stdout) != 0)
        throw corvid::exception(std::string("cannot write standard output: ") + std::strerror(errno));
}

}  // namespace corvid_tool
