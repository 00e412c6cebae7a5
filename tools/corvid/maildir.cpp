// SPDX-License-Identifier: MIT
#include "maildir.h"

#include <corvid/exception.h>
#include <corvid/platform/file.h>
#include <corvid/platform/signals.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <system_error>
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

// Deliveries killed half way leave their file in tmp/; after 36 hours no
// delivery is still writing it.
void remove_stale(const std::string& folder) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const auto limit = fs::file_time_type::clock::now() - std::chrono::hours(36);
    for (fs::directory_iterator entry(folder, ec), end; !ec && entry != end; entry.increment(ec)) {
        std::error_code ignored;
        if (entry->is_regular_file(ignored) && entry->last_write_time(ignored) < limit) fs::remove(entry->path(), ignored);
    }
}

}  // namespace

maildir::maildir(std::string folder, const std::string& host) : root(std::move(folder)) {
    while (root.size() > 1 && root.back() == '/') root.pop_back();
    for (const char* sub : {"", "/tmp", "/new", "/cur"}) make_folder(root + sub);
    for (const char c : host) {
        if (c == '/') host_part += "\\057";
        else if (c == ':') host_part += "\\072";
        else host_part += c;
    }
    remove_stale(root + "/tmp");
}

std::string maildir::unique_name() const {
    // Seconds, microseconds, process and a per-process count: unique even
    // for many deliveries in the same microsecond, or a process id reused
    // after a restart.
    static std::atomic<unsigned long long> count{0};
    const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(
                            std::chrono::system_clock::now().time_since_epoch())
                            .count();
    char head[96];
    std::snprintf(head, sizeof head, "%lld.M%06lldP%ldQ%llu.", static_cast<long long>(micros / 1000000),
                  static_cast<long long>(micros % 1000000), platform::process_id(), ++count);
    return head + host_part;
}

maildir_delivery::maildir_delivery(const maildir& box) : box(box), name(box.unique_name()) {
    // write_new: a clash with a file already there fails rather than
    // overwriting someone else's message.
    std::error_code ec;
    file = platform::open_file(box.folder() + "/tmp/" + name, platform::open_mode::write_new, ec, 0600);
    check(ec, "cannot create tmp/" + name);
    block.reserve(block_size);
}

maildir_delivery::~maildir_delivery() {
    if (!done) remove();
}

void maildir_delivery::remove() noexcept {
    std::error_code ec;
    file.close(ec);
    platform::remove_file(box.folder() + "/tmp/" + name, ec);
}

void maildir_delivery::write(std::string_view text) {
    for (std::size_t at = 0; at < text.size();) {
        // A CR before LF is dropped: the file's lines end with LF alone.
        if (held_cr && text[at] != '\n') block += '\r';
        held_cr = false;
        const std::size_t cr = text.find('\r', at);
        block.append(text.substr(at, (cr == std::string_view::npos ? text.size() : cr) - at));
        if (cr == std::string_view::npos) break;
        held_cr = true;
        at = cr + 1;
    }
    if (block.size() >= block_size) flush();
}

void maildir_delivery::flush() {
    std::error_code ec;
    platform::write_all(file, block, ec);
    check(ec, "cannot write tmp/" + name);
    block.clear();
}

std::string maildir_delivery::finish() {
    if (held_cr) block += '\r';
    held_cr = false;
    flush();
    std::error_code ec;
    platform::sync(file, ec);
    check(ec, "cannot sync tmp/" + name);
    file.close(ec);
    check(ec, "cannot close tmp/" + name);
    const std::string final_path = box.folder() + "/new/" + name;
    platform::rename_file(box.folder() + "/tmp/" + name, final_path, ec);
    check(ec, "cannot move tmp/" + name + " into new/");
    done = true;
    // The rename itself only lasts once the folder is on disk; if that
    // cannot be made sure of, the message is taken back so that the client
    // keeps it and tries again.
    const platform::unique_file folder = platform::open_file(box.folder() + "/new", platform::open_mode::folder, ec);
    if (!ec) platform::sync(folder, ec);
    if (ec) {
        std::error_code ignored;
        platform::remove_file(final_path, ignored);
        check(ec, "cannot sync new/");
    }
    return name;
}

}  // namespace corvid_tool
