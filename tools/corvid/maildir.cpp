#include "maildir.h"

#include <corvid/exception.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <utility>

namespace corvid_tool {

namespace {

// error is taken before the step's text is built, which may change errno.
[[noreturn]] void fail(int error, const std::string& step) {
    throw std::system_error(error, std::generic_category(), step);
}

void make_folder(const std::string& path) {
    if (::mkdir(path.c_str(), 0700) == 0) return;
    const int error = errno;
    struct stat info {};
    if (error == EEXIST && ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) return;
    throw corvid::exception("cannot create Maildir folder " + path + ": " +
                            std::strerror(error == EEXIST ? ENOTDIR : error));
}

// Closes on every way out; close() reports the error the caller must see.
class descriptor {
public:
    explicit descriptor(int fd) noexcept : fd(fd) {}
    descriptor(const descriptor&) = delete;
    descriptor& operator=(const descriptor&) = delete;
    ~descriptor() {
        if (fd >= 0) ::close(fd);
    }

    int get() const noexcept { return fd; }
    // Linux releases the descriptor even when close fails, so it is never
    // retried; EINTR says nothing about the data, which fsync has settled.
    void close(const std::string& step) {
        const int held = fd;
        fd = -1;
        if (::close(held) != 0 && errno != EINTR) fail(errno, step);
    }

private:
    int fd;
};

int open_retrying(const char* path, int flags, mode_t mode = 0) {
    int fd;
    do fd = ::open(path, flags | O_CLOEXEC, mode);
    while (fd < 0 && errno == EINTR);
    return fd;
}

void write_all(int fd, const std::string& bytes, const std::string& step) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t count = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (count < 0) {
            if (errno == EINTR) continue;
            fail(errno, step);
        }
        done += static_cast<std::size_t>(count);
    }
}

void sync(int fd, const std::string& step) {
    int result;
    do result = ::fsync(fd);
    while (result != 0 && errno == EINTR);
    if (result != 0) fail(errno, step);
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

    // O_EXCL: a clash with a file already there fails rather than
    // overwriting someone else's message.
    descriptor file(open_retrying(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600));
    if (file.get() < 0) {
        const int error = errno;
        fail(error, "cannot create tmp/" + name);
    }
    try {
        const std::string step = "cannot write tmp/" + name;
        std::string block;
        block.reserve(block_size);
        for (const std::string& line : lines) {
            if (block.size() + line.size() + 1 > block_size && !block.empty()) {
                write_all(file.get(), block, step);
                block.clear();
            }
            if (line.size() + 1 > block_size) {
                write_all(file.get(), line, step);
                block += '\n';
                continue;
            }
            block += line;
            block += '\n';
        }
        write_all(file.get(), block, step);
        sync(file.get(), "cannot sync tmp/" + name);
        file.close("cannot close tmp/" + name);
        if (::rename(temporary.c_str(), final_path.c_str()) != 0) {
            const int error = errno;
            fail(error, "cannot move tmp/" + name + " into new/");
        }
    } catch (...) {
        ::unlink(temporary.c_str());
        throw;
    }
    // The rename itself only lasts once the folder is on disk; if that
    // cannot be made sure of, the message is taken back so that the client
    // keeps it and tries again.
    try {
        descriptor folder(open_retrying((root + "/new").c_str(), O_RDONLY | O_DIRECTORY));
        if (folder.get() < 0) {
            const int error = errno;
            fail(error, "cannot open new/");
        }
        sync(folder.get(), "cannot sync new/");
    } catch (...) {
        ::unlink(final_path.c_str());
        throw;
    }
    return name;
}

}  // namespace corvid_tool
