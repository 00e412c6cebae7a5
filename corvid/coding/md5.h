// SPDX-License-Identifier: MIT
#ifndef CORVID_CODING_MD5_H
#define CORVID_CODING_MD5_H

#include <cstdint>
#include <string>
#include <string_view>

namespace corvid::coding {

// Selects the md5 constructor that reads a file.
struct from_file_t {
    explicit from_file_t() = default;
};
inline constexpr from_file_t from_file{};

// The MD5 digest (RFC 1321) of a byte stream given in pieces of any size,
// or of a file's contents. The length is counted in 64 bits, so inputs of
// any size give the standard digest. Taking a digest does not end the
// stream: later updates continue it.
// Throws corvid::exception when a file cannot be opened or read, and
// std::bad_alloc when memory runs out.
class md5 {
public:
    // Starts the digest with bytes (possibly none).
    explicit md5(std::string_view bytes = {});
    // The digest of the file's contents, read in 8192-byte pieces so that
    // the file is never held in memory whole.
    md5(from_file_t, const std::string& file_name);

    void update(std::string_view bytes);

    // 16 bytes: A, B, C, D of the final state, each little-endian.
    std::string digest() const;
    // 32 lower-case hexadecimal digits.
    std::string hex_digest() const;
    // 24 characters ending in "==" with pad, 22 without.
    std::string base64_digest(bool pad) const;

private:
    void compress(const unsigned char* blocks, std::size_t count);

    std::uint32_t state[4];
    std::uint64_t length = 0;  // bytes so far
    unsigned char buffer[64];  // the first length % 64 bytes are pending input
};

}  // namespace corvid::coding

#endif
