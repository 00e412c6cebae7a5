#include "maildir.h"

#include <corvid/exception.h>
#include <corvid/platform/file.h>

#include <atomic>
#include <cstdio>
#include <ctime>
#include <system_error>
#include <unistd.h>
#include <utility>

namespace corvid_tool {

namespace {

namespace platform = corvid::platform;

// Throws the failure of one step, whose text names the step.
void check(const std::error_code& ec, const std::string& step) {
    if (ec) throw std::system_error(ec, step);
}

void make_folder(const std::string& path) {
    std::error_code ec;
    platform::make_folder(path, 0700, ec);
    if (ec) throw corvid::exception("cannot create Maildir folder " + path + ": " + ec.message());
}

// The message is written in blocks of about this size, so that a large one
// is not copied whole once more.
constexpr std::size_t block_size = 64 * 1024;

}  // namespace

maildir::maildir(std::string folder, const std::string& host) : root(std::move(folder)) {
    while (root.size() > 1 && root.back() == '/') root.pop_back();
    for (const char* sub : {"", "/tmp", "/new", "/cur"}) make_folder(root + sub);
    for (const char c : host) {
        if (c == '/') host_part += "\\057";
        else if (c == ':') host_part += "\\072";
        else host_part += c;
    }
}

std::string maildir::unique_name() const {
    // Seconds, microseconds, process and a per-process count: unique even
    // for many deliveries in the same microsecond, or a process id reused
    // after a restart.
    static std::atomic<unsigned long long> count{0};
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    char head[96];
    std::snprintf(head, sizeof head, "%lld.M%06ldP%ldQ%llu.", static_cast<long long>(now.tv_sec),
                  now.tv_nsec / 1000, static_cast<long>(::getpid()), ++count);
    return head + host_part;
}

std::string maildir::deliver(const std::vector<std::string>& lines) const {
    std::string name = unique_name();
    const std::string temporary = root + "/tmp/" + name;
    const std::string final_path = root + "/new/" + name;

    // write_new: a clash with a file already there fails rather than
    // overwriting someone else's message.
    std::error_code ec;
    platform::unique_file file = platform::open_file(temporary, platform::open_mode::write_new, ec, 0600);
    check(ec, "cannot create tmp/" + name);
    try {
        const std::string step = "cannot write tmp/" + name;
        std::string block;
        block.reserve(block_size);
        for (const std::string& line : lines) {
            if (block.size() + line.size() + 1 > block_size && !block.empty()) {
                platform::write_all(file, block, ec);
                check(ec, step);
                block.clear();
            }
            if (line.size() + 1 > block_size) {
                platform::write_all(file, line, ec);
                check(ec, step);
                block += '\n';
                continue;
            }
            block += line;
            block += '\n';
        }
        platform::write_all(file, block, ec);
        check(ec, step);
        platform::sync(file, ec);
        check(ec, "cannot sync tmp/" + name);
        file.close(ec);
        check(ec, "cannot close tmp/" + name);
        platform::rename_file(temporary, final_path, ec);
        check(ec, "cannot move tmp/" + name + " into new/");
    } catch (...) {
        platform::remove_file(temporary, ec);
        throw;
    }
    // The rename itself only lasts once the folder is on disk; if that
    // cannot be made sure of, the message is taken back so that the client
    // keeps it and tries again.
    try {
        const platform::unique_file folder = platform::open_file(root + "/new", platform::open_mode::folder, ec);
        check(ec, "cannot open new/");
        platform::sync(folder, ec);
        check(ec, "cannot sync new/");
    } catch (...) {
        platform::remove_file(final_path, ec);
        throw;
    }
    return name;
}

}  // namespace corvid_tool
