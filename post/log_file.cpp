#include "log_file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace post {

namespace {

struct descriptor {
    int fd;
    ~descriptor() {
        if (fd >= 0) ::close(fd);
    }
};

}  // namespace

read_status log_file::read(std::string& bytes) {
    // O_NONBLOCK keeps the open of a FIFO without a writer from hanging.
    const descriptor file{::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)};
    if (file.fd < 0) return read_status::not_opened;
    struct stat info {};
    if (::fstat(file.fd, &info) != 0 || !S_ISREG(info.st_mode)) return read_status::failed;
    // The whole 64-bit size; a log too large to hold is a failed read, not a
    // truncated one.
    const auto size = static_cast<unsigned long long>(info.st_size);
    if (size > bytes.max_size()) return read_status::failed;
    try {
        bytes.resize(static_cast<std::size_t>(size));
    } catch (const std::bad_alloc&) {
        return read_status::failed;
    }
    std::size_t done = 0;
    while (done < bytes.size()) {  // ends at the size or at the end of the file
        const ssize_t got = ::read(file.fd, bytes.data() + done, bytes.size() - done);
        if (got < 0) {
            if (errno == EINTR) continue;
            return read_status::failed;
        }
        if (got == 0) break;
        done += static_cast<std::size_t>(got);
    }
    bytes.resize(done);
    return read_status::read;
}

}  // namespace post
