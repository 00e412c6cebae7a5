// SPDX-License-Identifier: MIT
#include <corvid/platform/file.h>

#include <cerrno>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace corvid::platform {

namespace {

bool bad_path(const std::string& path, std::error_code& ec) noexcept {
    if (path.find('\0') == std::string::npos) return false;
    ec = std::make_error_code(std::errc::invalid_argument);
    return true;
}

void report_errno(std::error_code& ec) noexcept { ec.assign(errno, std::generic_category()); }

int flags_of(open_mode mode) noexcept {
    switch (mode) {
        case open_mode::read: return O_RDONLY;
        case open_mode::read_no_wait: return O_RDONLY | O_NONBLOCK;
        case open_mode::write_new: return O_WRONLY | O_CREAT | O_EXCL;
        case open_mode::write_replace: return O_WRONLY | O_CREAT | O_TRUNC;
        case open_mode::folder: return O_RDONLY | O_DIRECTORY;
    }
    return O_RDONLY;
}

}  // namespace

unique_file& unique_file::operator=(unique_file&& other) noexcept {
    if (this != &other) {
        if (fd >= 0) ::close(fd);
        fd = other.fd;
        other.fd = -1;
    }
    return *this;
}

unique_file::~unique_file() {
    if (fd >= 0) ::close(fd);
}

void unique_file::close(std::error_code& ec) noexcept {
    ec.clear();
    const int held = fd;
    fd = -1;
    if (held >= 0 && ::close(held) != 0 && errno != EINTR) report_errno(ec);
}

unique_file open_file(const std::string& path, open_mode mode, std::error_code& ec,
                      unsigned permissions) noexcept {
    ec.clear();
    if (bad_path(path, ec)) return {};
    int fd;
    do fd = ::open(path.c_str(), flags_of(mode) | O_CLOEXEC, static_cast<mode_t>(permissions));
    while (fd < 0 && errno == EINTR);
    if (fd < 0) report_errno(ec);
    return unique_file(fd);
}

namespace {

std::size_t read_once(int fd, char* buffer, std::size_t size, std::error_code& ec) noexcept {
    ec.clear();
    for (;;) {
        const ssize_t got = ::read(fd, buffer, size);
        if (got >= 0) return static_cast<std::size_t>(got);
        if (errno == EINTR) continue;
        report_errno(ec);
        return 0;
    }
}

}  // namespace

std::size_t read_some(const unique_file& file, char* buffer, std::size_t size, std::error_code& ec) noexcept {
    return read_once(file.get(), buffer, size, ec);
}

void write_all(const unique_file& file, std::string_view bytes, std::error_code& ec) noexcept {
    ec.clear();
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t count = ::write(file.get(), bytes.data() + done, bytes.size() - done);
        if (count < 0) {
            if (errno == EINTR) continue;
            return report_errno(ec);
        }
        done += static_cast<std::size_t>(count);
    }
}

void sync(const unique_file& file, std::error_code& ec) noexcept {
    ec.clear();
    int result;
    do result = ::fsync(file.get());
    while (result != 0 && errno == EINTR);
    if (result != 0) report_errno(ec);
}

file_facts facts(const unique_file& file, std::error_code& ec) noexcept {
    ec.clear();
    struct stat info {};
    if (::fstat(file.get(), &info) != 0) {
        report_errno(ec);
        return {};
    }
    return {S_ISREG(info.st_mode), static_cast<std::uint64_t>(info.st_size),
            static_cast<unsigned>(info.st_mode & 07777), static_cast<unsigned>(info.st_uid)};
}

unsigned effective_user() noexcept { return static_cast<unsigned>(::geteuid()); }

void read_pieces(int fd, std::size_t size, const std::function<void(std::string_view)>& take,
                 std::error_code& ec) {
    std::string piece(size, '\0');
    while (const std::size_t got = read_once(fd, piece.data(), piece.size(), ec))
        take(std::string_view(piece.data(), got));
}

void read_file(const std::string& path, std::string& bytes, std::error_code& ec) {
    const unique_file file = open_file(path, open_mode::read, ec);
    if (ec) return;
    read_pieces(file.get(), 64 * 1024, [&bytes](std::string_view piece) { bytes.append(piece); }, ec);
}

unique_file create_unique(const std::string& prefix, std::string& path, std::error_code& ec,
                          unsigned permissions) {
    static constexpr char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::random_device seed;
    std::mt19937_64 random(seed());
    // A clash with a name someone else made is retried with another; the
    // kernel applies the umask as for any new file.
    for (int attempt = 0; attempt < 100; ++attempt) {
        path = prefix;
        for (int i = 0; i < 10; ++i) path += letters[random() % (sizeof letters - 1)];
        unique_file file = open_file(path, open_mode::write_new, ec, permissions);
        if (ec != std::errc::file_exists) return file;
    }
    return {};
}

void make_folder(const std::string& path, unsigned permissions, std::error_code& ec) noexcept {
    ec.clear();
    if (bad_path(path, ec)) return;
    if (::mkdir(path.c_str(), static_cast<mode_t>(permissions)) == 0) return;
    const int error = errno;
    struct stat info {};
    if (error == EEXIST && ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) return;
    ec.assign(error == EEXIST ? ENOTDIR : error, std::generic_category());
}

void rename_file(const std::string& from, const std::string& to, std::error_code& ec) noexcept {
    ec.clear();
    if (bad_path(from, ec) || bad_path(to, ec)) return;
    if (::rename(from.c_str(), to.c_str()) != 0) report_errno(ec);
}

void link_file(const std::string& from, const std::string& to, std::error_code& ec) noexcept {
    ec.clear();
    if (bad_path(from, ec) || bad_path(to, ec)) return;
    if (::link(from.c_str(), to.c_str()) != 0) report_errno(ec);
}

void remove_file(const std::string& path, std::error_code& ec) noexcept {
    ec.clear();
    if (bad_path(path, ec)) return;
    if (::unlink(path.c_str()) != 0) report_errno(ec);
}

}  // namespace corvid::platform
