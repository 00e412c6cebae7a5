// SPDX-License-Identifier: MIT
#include <corvid/coding/md5.h>

#include <corvid/coding/base64.h>
#include <corvid/coding/hex.h>
#include <corvid/exception.h>
#include <corvid/platform/file.h>

#include <cstring>
#include <memory>

namespace corvid::coding {

namespace {

inline std::uint32_t rotate_left(std::uint32_t x, unsigned n) { return (x << n) | (x >> (32 - n)); }

// The four round functions, in forms that give the textbook bits with the
// fewest operations waiting on x, the word that the previous step produced.
struct F {
    static std::uint32_t f(std::uint32_t x, std::uint32_t y, std::uint32_t z) { return z ^ (x & (y ^ z)); }
};
struct G {
    static std::uint32_t f(std::uint32_t x, std::uint32_t y, std::uint32_t z) { return (y & ~z) + (x & z); }
};
struct H {
    static std::uint32_t f(std::uint32_t x, std::uint32_t y, std::uint32_t z) { return x ^ (y ^ z); }
};
struct I {
    static std::uint32_t f(std::uint32_t x, std::uint32_t y, std::uint32_t z) { return y ^ (x | ~z); }
};

template <class Round>
inline void step(std::uint32_t& a, std::uint32_t b, std::uint32_t c, std::uint32_t d, std::uint32_t word_and_constant,
                 unsigned shift) {
    a = b + rotate_left(a + word_and_constant + Round::f(b, c, d), shift);
}

inline std::uint32_t load_little_endian(const unsigned char* p) {
    return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) |
           (std::uint32_t{p[3]} << 24);
}

}  // namespace

md5::md5(std::string_view bytes) : state{0x67452301u, 0xefcdab89u, 0x98badcfeu, 0x10325476u}, buffer{} {
    update(bytes);
}

md5::md5(from_file_t, const std::string& file_name) : md5() {
    // Failing silently would hand out the digest of whatever was read as if
    // it were the file's.
    std::error_code ec;
    const platform::unique_file file = platform::open_file(file_name, platform::open_mode::read, ec);
    if (ec == std::errc::invalid_argument && file_name.find('\0') != std::string::npos)
        throw corvid::exception("cannot open a file name that holds a NUL byte");
    if (ec) throw corvid::exception("cannot open " + file_name + ": " + ec.message());
    char piece[64 * 1024];
    while (const std::size_t got = platform::read_some(file, piece, sizeof piece, ec))
        update(std::string_view(piece, got));
    if (ec) throw corvid::exception("cannot read " + file_name + ": " + ec.message());
}

void md5::update(std::string_view bytes) {
    const auto* from = reinterpret_cast<const unsigned char*>(bytes.data());
    std::size_t size = bytes.size();
    if (size == 0) return;  // an empty view may have no data pointer to copy from
    const std::size_t held = length % 64;
    length += size;
    if (held != 0) {
        const std::size_t take = size < 64 - held ? size : 64 - held;
        std::memcpy(buffer + held, from, take);
        if (held + take < 64) return;
        compress(buffer, 1);
        from += take;
        size -= take;
    }
    // Whole blocks straight from the caller's bytes, without copying.
    if (size >= 64) {
        compress(from, size / 64);
        from += size / 64 * 64;
        size %= 64;
    }
    if (size != 0) std::memcpy(buffer, from, size);
}

std::string md5::digest() const {
    md5 last = *this;
    // 0x80, zeros up to 56 mod 64, then the length in bits as 64 bits,
    // little-endian. The length is taken before padding changes it.
    const std::uint64_t bits = length * 8;
    unsigned char tail[72] = {0x80};
    const std::size_t held = length % 64;
    const std::size_t zeros = held < 56 ? 55 - held : 119 - held;
    for (int i = 0; i < 8; ++i) tail[1 + zeros + i] = static_cast<unsigned char>(bits >> (8 * i));
    last.update(std::string_view(reinterpret_cast<const char*>(tail), 1 + zeros + 8));

    std::string bytes(16, '\0');
    for (int word = 0; word < 4; ++word)
        for (int i = 0; i < 4; ++i) bytes[4 * word + i] = static_cast<char>(last.state[word] >> (8 * i));
    return bytes;
}

std::string md5::hex_digest() const { return hex_encode(digest()); }

std::string md5::base64_digest(bool pad) const { return base64_encode(digest(), pad); }

void md5::compress(const unsigned char* blocks, std::size_t count) {
    std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
    for (; count != 0; --count, blocks += 64) {
        std::uint32_t x[16];
        for (int i = 0; i < 16; ++i) x[i] = load_little_endian(blocks + 4 * i);
        const std::uint32_t a0 = a, b0 = b, c0 = c, d0 = d;
        step<F>(a, b, c, d, x[0] + 0xd76aa478u, 7);
        step<F>(d, a, b, c, x[1] + 0xe8c7b756u, 12);
        step<F>(c, d, a, b, x[2] + 0x242070dbu, 17);
        step<F>(b, c, d, a, x[3] + 0xc1bdceeeu, 22);
        step<F>(a, b, c, d, x[4] + 0xf57c0fafu, 7);
        step<F>(d, a, b, c, x[5] + 0x4787c62au, 12);
        step<F>(c, d, a, b, x[6] + 0xa8304613u, 17);
        step<F>(b, c, d, a, x[7] + 0xfd469501u, 22);
        step<F>(a, b, c, d, x[8] + 0x698098d8u, 7);
        step<F>(d, a, b, c, x[9] + 0x8b44f7afu, 12);
        step<F>(c, d, a, b, x[10] + 0xffff5bb1u, 17);
        step<F>(b, c, d, a, x[11] + 0x895cd7beu, 22);
        step<F>(a, b, c, d, x[12] + 0x6b901122u, 7);
        step<F>(d, a, b, c, x[13] + 0xfd987193u, 12);
        step<F>(c, d, a, b, x[14] + 0xa679438eu, 17);
        step<F>(b, c, d, a, x[15] + 0x49b40821u, 22);
        step<G>(a, b, c, d, x[1] + 0xf61e2562u, 5);
        step<G>(d, a, b, c, x[6] + 0xc040b340u, 9);
        step<G>(c, d, a, b, x[11] + 0x265e5a51u, 14);
        step<G>(b, c, d, a, x[0] + 0xe9b6c7aau, 20);
        step<G>(a, b, c, d, x[5] + 0xd62f105du, 5);
        step<G>(d, a, b, c, x[10] + 0x02441453u, 9);
        step<G>(c, d, a, b, x[15] + 0xd8a1e681u, 14);
        step<G>(b, c, d, a, x[4] + 0xe7d3fbc8u, 20);
        step<G>(a, b, c, d, x[9] + 0x21e1cde6u, 5);
        step<G>(d, a, b, c, x[14] + 0xc33707d6u, 9);
        step<G>(c, d, a, b, x[3] + 0xf4d50d87u, 14);
        step<G>(b, c, d, a, x[8] + 0x455a14edu, 20);
        step<G>(a, b, c, d, x[13] + 0xa9e3e905u, 5);
        step<G>(d, a, b, c, x[2] + 0xfcefa3f8u, 9);
        step<G>(c, d, a, b, x[7] + 0x676f02d9u, 14);
        step<G>(b, c, d, a, x[12] + 0x8d2a4c8au, 20);
        step<H>(a, b, c, d, x[5] + 0xfffa3942u, 4);
        step<H>(d, a, b, c, x[8] + 0x8771f681u, 11);
        step<H>(c, d, a, b, x[11] + 0x6d9d6122u, 16);
        step<H>(b, c, d, a, x[14] + 0xfde5380cu, 23);
        step<H>(a, b, c, d, x[1] + 0xa4beea44u, 4);
        step<H>(d, a, b, c, x[4] + 0x4bdecfa9u, 11);
        step<H>(c, d, a, b, x[7] + 0xf6bb4b60u, 16);
        step<H>(b, c, d, a, x[10] + 0xbebfbc70u, 23);
        step<H>(a, b, c, d, x[13] + 0x289b7ec6u, 4);
        step<H>(d, a, b, c, x[0] + 0xeaa127fau, 11);
        step<H>(c, d, a, b, x[3] + 0xd4ef3085u, 16);
        step<H>(b, c, d, a, x[6] + 0x04881d05u, 23);
        step<H>(a, b, c, d, x[9] + 0xd9d4d039u, 4);
        step<H>(d, a, b, c, x[12] + 0xe6db99e5u, 11);
        step<H>(c, d, a, b, x[15] + 0x1fa27cf8u, 16);
        step<H>(b, c, d, a, x[2] + 0xc4ac5665u, 23);
        step<I>(a, b, c, d, x[0] + 0xf4292244u, 6);
        step<I>(d, a, b, c, x[7] + 0x432aff97u, 10);
        step<I>(c, d, a, b, x[14] + 0xab9423a7u, 15);
        step<I>(b, c, d, a, x[5] + 0xfc93a039u, 21);
        step<I>(a, b, c, d, x[12] + 0x655b59c3u, 6);
        step<I>(d, a, b, c, x[3] + 0x8f0ccc92u, 10);
        step<I>(c, d, a, b, x[10] + 0xffeff47du, 15);
        step<I>(b, c, d, a, x[1] + 0x85845dd1u, 21);
        step<I>(a, b, c, d, x[8] + 0x6fa87e4fu, 6);
        step<I>(d, a, b, c, x[15] + 0xfe2ce6e0u, 10);
        step<I>(c, d, a, b, x[6] + 0xa3014314u, 15);
        step<I>(b, c, d, a, x[13] + 0x4e0811a1u, 21);
        step<I>(a, b, c, d, x[4] + 0xf7537e82u, 6);
        step<I>(d, a, b, c, x[11] + 0xbd3af235u, 10);
        step<I>(c, d, a, b, x[2] + 0x2ad7d2bbu, 15);
        step<I>(b, c, d, a, x[9] + 0xeb86d391u, 21);
        a += a0;
        b += b0;
        c += c0;
        d += d0;
    }
    state[0] = a;
    state[1] = b;
    state[2] = c;
    state[3] = d;
}

}  // namespace corvid::coding
