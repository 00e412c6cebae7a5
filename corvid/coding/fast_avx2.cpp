// SPDX-License-Identifier: MIT
#include <corvid/coding/fast.h>

#include <atomic>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define CORVID_AVX2 1
#endif

// Base64 32 symbols at a time: bytes are spread into 6-bit fields by a
// shuffle and two multiplies and turned into symbols by range offsets;
// symbols are validated and mapped back by lookups on their two nibbles.
// Only these functions are compiled for AVX2; they run only where the CPU
// has it.
namespace corvid::coding::detail {

namespace {

bool cpu_has_avx2() {
#ifdef CORVID_AVX2
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
#else
    return false;
#endif
}

}  // namespace

// Until this is initialised the table routes serve, which give the same
// results.
std::atomic<bool> vector_routes_on{cpu_has_avx2()};

bool use_vector_routes(bool on) {
    static const bool has = cpu_has_avx2();
    vector_routes_on.store(on && has, std::memory_order_relaxed);
    return vector_routes();
}

#ifdef CORVID_AVX2

namespace {

#define CORVID_TARGET __attribute__((target("avx2")))

// Eight groups of three bytes, read without going past from + 24, to 32 symbols.
CORVID_TARGET inline void encode_block(const unsigned char* from, char* to) {
    const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from));
    const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + 8));
    __m256i in = _mm256_inserti128_si256(_mm256_castsi128_si256(low), high, 1);
    // Each 32-bit field gets the three bytes of a group as b1 b0 b2 b1; the
    // upper lane was loaded 4 bytes early.
    in = _mm256_shuffle_epi8(in, _mm256_setr_epi8(1, 0, 2, 1, 4, 3, 5, 4, 7, 6, 8, 7, 10, 9, 11, 10,  //
                                                  5, 4, 6, 5, 8, 7, 9, 8, 11, 10, 12, 11, 14, 13, 15, 14));
    const __m256i first = _mm256_mulhi_epu16(_mm256_and_si256(in, _mm256_set1_epi32(0x0FC0FC00)),
                                             _mm256_set1_epi32(0x04000040));
    const __m256i second = _mm256_mullo_epi16(_mm256_and_si256(in, _mm256_set1_epi32(0x003F03F0)),
                                              _mm256_set1_epi32(0x01000010));
    const __m256i indices = _mm256_or_si256(first, second);
    // 0-25 give 13, 26-51 give 0, 52-61 give 1-10, 62 and 63 give 11 and 12:
    // the index of the offset from value to symbol.
    __m256i range = _mm256_subs_epu8(indices, _mm256_set1_epi8(51));
    range = _mm256_or_si256(range, _mm256_and_si256(_mm256_cmpgt_epi8(_mm256_set1_epi8(26), indices),
                                                    _mm256_set1_epi8(13)));
    const __m256i offsets = _mm256_setr_epi8(  //
        'a' - 26, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52,
        '0' - 52, '+' - 62, '/' - 63, 'A', 0, 0,  //
        'a' - 26, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52,
        '0' - 52, '+' - 62, '/' - 63, 'A', 0, 0);
    const __m256i symbols = _mm256_add_epi8(_mm256_shuffle_epi8(offsets, range), indices);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(to), symbols);
}

// The values of 32 bytes taken as symbols; returns a bit per byte that is one.
CORVID_TARGET inline std::uint32_t translate(__m256i in, __m256i& values) {
    const __m256i high_nibbles = _mm256_and_si256(_mm256_srli_epi32(in, 4), _mm256_set1_epi8(0x0F));
    const __m256i low_nibbles = _mm256_and_si256(in, _mm256_set1_epi8(0x0F));
    // A byte is a symbol when the classes of its two nibbles share no bit.
    const __m256i low_classes = _mm256_setr_epi8(  //
        0x15, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x13, 0x1A, 0x1B, 0x1B, 0x1B, 0x1A,  //
        0x15, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x13, 0x1A, 0x1B, 0x1B, 0x1B, 0x1A);
    const __m256i high_classes = _mm256_setr_epi8(  //
        0x10, 0x10, 0x01, 0x02, 0x04, 0x08, 0x04, 0x08, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10,  //
        0x10, 0x10, 0x01, 0x02, 0x04, 0x08, 0x04, 0x08, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10);
    const __m256i clash = _mm256_and_si256(_mm256_shuffle_epi8(low_classes, low_nibbles),
                                           _mm256_shuffle_epi8(high_classes, high_nibbles));
    const auto valid =
        static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(clash, _mm256_setzero_si256())));
    // The offset from symbol to value by high nibble; "/" shares its nibble
    // with "+" and moves one entry down.
    const __m256i offsets = _mm256_setr_epi8(  //
        0, 16, 19, 4, -65, -65, -71, -71, 0, 0, 0, 0, 0, 0, 0, 0,  //
        0, 16, 19, 4, -65, -65, -71, -71, 0, 0, 0, 0, 0, 0, 0, 0);
    const __m256i slash = _mm256_cmpeq_epi8(in, _mm256_set1_epi8('/'));
    values = _mm256_add_epi8(in, _mm256_shuffle_epi8(offsets, _mm256_add_epi8(slash, high_nibbles)));
    return valid;
}

// 32 values to 24 bytes, stored as 32 (the last 8 are spare).
CORVID_TARGET inline void pack(__m256i values, char* to) {
    __m256i merged = _mm256_maddubs_epi16(values, _mm256_set1_epi32(0x01400140));
    merged = _mm256_madd_epi16(merged, _mm256_set1_epi32(0x00011000));
    merged = _mm256_shuffle_epi8(merged, _mm256_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1,  //
                                                          2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1));
    merged = _mm256_permutevar8x32_epi32(merged, _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 3, 7));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(to), merged);
}

CORVID_TARGET __m256i load(const unsigned char* from) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(from));
}

}  // namespace

namespace {

// A last partial block is done as a whole one ending with the input; it
// writes some symbols a second time, the same ones.
CORVID_TARGET inline char* encode_run(const unsigned char* from, std::size_t groups, char* to) {
    std::size_t done = 0;
    for (; groups - done >= 8; done += 8) encode_block(from + done * 3, to + done * 4);
    if (done != groups) encode_block(from + (groups - 8) * 3, to + (groups - 8) * 4);
    return to + groups * 4;
}

}  // namespace

CORVID_TARGET char* avx2_base64_encode(const unsigned char* from, std::size_t groups, char* to) {
    return encode_run(from, groups, to);
}

CORVID_TARGET char* avx2_base64_encode_lines(const unsigned char* from, std::size_t lines, std::size_t line_groups,
                                             char* to) {
    for (; lines != 0; --lines, from += line_groups * 3) {
        to = encode_run(from, line_groups, to);
        to[0] = '\r';
        to[1] = '\n';
        to += 2;
    }
    return to;
}

CORVID_TARGET const unsigned char* avx2_base64_decode(const unsigned char* from, const unsigned char* end,
                                                      char*& to, bool skip_breaks) {
    const __m256i positions = _mm256_setr_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18,
                                               19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31);
    const unsigned char* const begin = from;
    char* out = to;
    // A line break at offset at of the block: the block is taken again
    // without it, from a second load 1 or 2 bytes further on.
    auto is_break = [](unsigned char c) { return c == '\r' || c == '\n'; };
    auto join = [&](__m256i in, int at) CORVID_TARGET {
        if (!is_break(from[at])) return false;
        const int length = at + 1 < end - from && is_break(from[at + 1]) ? 2 : 1;
        if (end - from < 32 + length) return false;
        __m256i values;
        const __m256i later = _mm256_cmpgt_epi8(positions, _mm256_set1_epi8(static_cast<char>(at - 1)));
        if (translate(_mm256_blendv_epi8(in, load(from + length), later), values) != 0xFFFFFFFFu) return false;
        pack(values, out);
        from += 32 + length;
        out += 24;
        return true;
    };
    // Lines mostly have one length: after two breaks, the block holding
    // the next one is joined straight away.
    std::ptrdiff_t last_break = -1, next_break = -1;
    while (end - from >= 32) {
        const __m256i in = load(from);
        const std::ptrdiff_t offset = from - begin;
        if (skip_breaks && next_break >= offset && next_break - offset < 32) {
            const std::ptrdiff_t at = next_break - offset;
            next_break = -1;
            if (join(in, static_cast<int>(at))) {
                next_break = offset + at + (offset + at - last_break);
                last_break = offset + at;
                continue;
            }
        }
        __m256i values;
        const std::uint32_t valid = translate(in, values);
        if (valid == 0xFFFFFFFFu) {
            pack(values, out);
            from += 32;
            out += 24;
            continue;
        }
        const int at = __builtin_ctz(~valid);
        if (!skip_breaks || !join(in, at)) break;
        if (last_break >= 0) next_break = offset + at + (offset + at - last_break);
        last_break = offset + at;
    }
    to = out;
    return from;
}

#else

char* avx2_base64_encode(const unsigned char*, std::size_t, char* to) { return to; }
char* avx2_base64_encode_lines(const unsigned char*, std::size_t, std::size_t, char* to) { return to; }
const unsigned char* avx2_base64_decode(const unsigned char* from, const unsigned char*, char*&, bool) {
    return from;
}

#endif

}  // namespace corvid::coding::detail
