// SPDX-License-Identifier: MIT
#ifndef CORVID_PLATFORM_FILE_H
#define CORVID_PLATFORM_FILE_H

// Files for the library, its tool and post, with one convention: failures
// are errno values in std::generic_category (so ec.message() reads as the
// system's own text), interrupted calls are retried, and a path holding a
// NUL byte fails with invalid_argument, since the system would stop there
// and open some other, shorter name.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <system_error>

namespace corvid::platform {

enum class open_mode {
    read,
    read_no_wait,  // opening a FIFO without a writer returns at once
    write_new,     // creates the file; fails when it exists
    write_replace, // creates or truncates
    folder,        // a folder, read-only (to sync what was renamed into it)
};

// Owns one file descriptor. Move-only; the destructor closes and ignores any
// error, so a writer calls close() to learn whether the data arrived.
class unique_file {
public:
    unique_file() noexcept = default;
    explicit unique_file(int fd) noexcept : fd(fd) {}
    unique_file(unique_file&& other) noexcept : fd(other.fd) { other.fd = -1; }
    unique_file& operator=(unique_file&& other) noexcept;
    unique_file(const unique_file&) = delete;
    unique_file& operator=(const unique_file&) = delete;
    ~unique_file();

    int get() const noexcept { return fd; }
    bool valid() const noexcept { return fd >= 0; }
    // Linux releases the descriptor even when close fails, so it is never
    // retried; EINTR says nothing about the data and is not reported.
    void close(std::error_code& ec) noexcept;

private:
    int fd = -1;
};

// permissions apply to files that write_new or write_replace create.
unique_file open_file(const std::string& path, open_mode mode, std::error_code& ec,
                      unsigned permissions = 0644) noexcept;

// Up to size bytes; 0 at the end of the file.
std::size_t read_some(const unique_file& file, char* buffer, std::size_t size, std::error_code& ec) noexcept;
void write_all(const unique_file& file, std::string_view bytes, std::error_code& ec) noexcept;
// Makes the written data, or a folder's entries, last a crash.
void sync(const unique_file& file, std::error_code& ec) noexcept;

struct file_facts {
    bool regular = false;
    std::uint64_t size = 0;
    unsigned mode = 0;       // the permission bits
    unsigned owner = 0;      // the owning user's id
};
file_facts facts(const unique_file& file, std::error_code& ec) noexcept;
// The user id the process acts as.
unsigned effective_user() noexcept;

// Reads descriptor fd (a file's, or 0 for standard input) to its end in
// pieces of at most size bytes, handing each to take; stops at a failure.
void read_pieces(int fd, std::size_t size, const std::function<void(std::string_view)>& take,
                 std::error_code& ec);
// The whole file's bytes, read in pieces until its end.
void read_file(const std::string& path, std::string& bytes, std::error_code& ec);

// Creates a new file whose name is prefix and random characters (path
// receives it), with permissions less the process's umask.
unique_file create_unique(const std::string& prefix, std::string& path, std::error_code& ec,
                          unsigned permissions = 0600);

// A folder that already exists is no failure; another kind of file there is
// (not_a_directory).
void make_folder(const std::string& path, unsigned permissions, std::error_code& ec) noexcept;
void rename_file(const std::string& from, const std::string& to, std::error_code& ec) noexcept;
// A second name for a file; fails (file_exists) rather than replace one.
void link_file(const std::string& from, const std::string& to, std::error_code& ec) noexcept;
void remove_file(const std::string& path, std::error_code& ec) noexcept;

}  // namespace corvid::platform

#endif
