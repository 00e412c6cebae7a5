// SPDX-License-Identifier: MIT
// Codecs and MD5 beside OpenSSL on the same data in the same process. Each
// benchmark times the library (the reported time) and the reference in
// turn and reports MB/s for both and ratio = reference time / library time,
// so a ratio above 1 means the library is faster. Run with
// --benchmark_repetitions and read the medians.
//
// OpenSSL has no quoted-printable codec; those rows use its base64 block
// routines on the same bytes as a yardstick of a comparable table codec.

#include <corvid/coding/base64.h>
#include <corvid/coding/fast.h>
#include <corvid/coding/hex.h>
#include <corvid/coding/md5.h>
#include <corvid/coding/quoted_printable.h>

#include <benchmark/benchmark.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace cc = corvid::coding;

namespace {

std::string random_bytes(std::size_t size) {
    std::mt19937_64 random(size);
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; i += 8) {
        std::uint64_t word = random();
        for (std::size_t k = 0; k < 8 && i + k < size; ++k) bytes[i + k] = static_cast<char>(word >> (8 * k));
    }
    return bytes;
}

// Mail-like text: printable ASCII words and spaces, line breaks, now and
// then a byte of an 8-bit charset.
std::string text_bytes(std::size_t size) {
    std::mt19937 random(static_cast<unsigned>(size));
    std::string bytes(size, ' ');
    for (std::size_t i = 0; i < size; ++i) {
        unsigned r = random() % 100;
        bytes[i] = r < 15 ? ' ' : r < 17 ? '\n' : r < 19 ? static_cast<char>(0xC0 + random() % 64)
                                                         : static_cast<char>('a' + random() % 26);
    }
    return bytes;
}

std::string with_line_breaks(const std::string& text) {
    std::string lines;
    lines.reserve(text.size() + text.size() / 38 + 2);
    for (std::size_t i = 0; i < text.size(); i += 76) lines.append(text, i, 76).append("\r\n");
    return lines;
}

const unsigned char* u(const std::string& s) { return reinterpret_cast<const unsigned char*>(s.data()); }
int n(std::size_t size) { return static_cast<int>(size); }

// Times library and reference alternately; bytes is the input size of one
// call, which the MB/s figures count.
void compare(benchmark::State& state, std::size_t bytes, const std::function<void()>& library,
             const std::function<void()>& reference) {
    using clock = std::chrono::steady_clock;
    double library_seconds = 0, reference_seconds = 0;
    for (auto _ : state) {
        auto t0 = clock::now();
        library();
        auto t1 = clock::now();
        reference();
        auto t2 = clock::now();
        const double lib = std::chrono::duration<double>(t1 - t0).count();
        library_seconds += lib;
        reference_seconds += std::chrono::duration<double>(t2 - t1).count();
        state.SetIterationTime(lib);
    }
    const double megabytes = static_cast<double>(bytes) * static_cast<double>(state.iterations()) / 1e6;
    state.counters["MB/s"] = megabytes / library_seconds;
    state.counters["openssl_MB/s"] = megabytes / reference_seconds;
    state.counters["ratio"] = reference_seconds / library_seconds;
}

// The library's side of a comparison: CODE writes into OUT, which keeps
// its capacity from one run to the next as a caller's buffer would.
template <typename Code>
std::function<void()> into(std::string& out, Code code) {
    return [&out, code] {
        out.clear();
        code(out);
        benchmark::DoNotOptimize(out.data());
    };
}

void check(bool ok, const char* what) {
    if (!ok) throw std::runtime_error(what);
}

void md5(benchmark::State& state) {
    const std::string data = random_bytes(static_cast<std::size_t>(state.range(0)));
    unsigned char reference[16];
    unsigned length = 0;
    check(cc::md5(data).digest() ==
              (EVP_Digest(data.data(), data.size(), reference, &length, EVP_md5(), nullptr),
               std::string(reinterpret_cast<char*>(reference), 16)),
          "md5 differs");
    compare(
        state, data.size(), [&] { benchmark::DoNotOptimize(cc::md5(data).digest()); },
        [&] {
            EVP_Digest(data.data(), data.size(), reference, &length, EVP_md5(), nullptr);
            benchmark::DoNotOptimize(reference);
        });
}

void base64_encode(benchmark::State& state) {
    const std::string data = random_bytes(static_cast<std::size_t>(state.range(0)));
    std::string out;
    std::vector<unsigned char> reference(data.size() / 3 * 4 + 5);
    check(cc::base64_encode(data, true) ==
              std::string(reinterpret_cast<char*>(reference.data()), EVP_EncodeBlock(reference.data(), u(data), n(data.size()))),
          "base64 encoding differs");
    compare(
        state, data.size(),
        into(out, [&](std::string& to) { cc::base64_encode(data, to, true); }),
        [&] { benchmark::DoNotOptimize(EVP_EncodeBlock(reference.data(), u(data), n(data.size()))); });
}

// As the message writer encodes a body: 57 bytes to each 76-character line.
void base64_encode_lines(benchmark::State& state) {
    const std::string data = random_bytes(static_cast<std::size_t>(state.range(0)));
    std::string out;
    unsigned char reference[80];
    compare(
        state, data.size(),
        [&] {
            for (std::size_t i = 0; i < data.size(); i += 57) {
                out.clear();
                cc::base64_encode(std::string_view(data).substr(i, 57), out, true);
                benchmark::DoNotOptimize(out.data());
            }
        },
        [&] {
            for (std::size_t i = 0; i < data.size(); i += 57)
                benchmark::DoNotOptimize(
                    EVP_EncodeBlock(reference, u(data) + i, n(std::min<std::size_t>(57, data.size() - i))));
        });
}

// The message writer's entry: a whole body in one call, 76-character lines
// joined by CR LF; OpenSSL encodes it line by line into one buffer.
void sextet_encode_lines(benchmark::State& state) {
    const std::string data = random_bytes(static_cast<std::size_t>(state.range(0)));
    std::string out;
    std::vector<unsigned char> reference(data.size() / 57 * 78 + 80);
    compare(
        state, data.size(),
        into(out, [&](std::string& to) { cc::detail::base64_codec.encode_lines(data, to, 76, true); }),
        [&] {
            unsigned char* to = reference.data();
            for (std::size_t i = 0; i < data.size(); i += 57) {
                if (i != 0) *to++ = '\r', *to++ = '\n';
                to += EVP_EncodeBlock(to, u(data) + i, n(std::min<std::size_t>(57, data.size() - i)));
            }
            benchmark::DoNotOptimize(to);
        });
}

void base64_decode(benchmark::State& state) {
    const std::string text = cc::base64_encode(random_bytes(static_cast<std::size_t>(state.range(0))), true);
    std::string out;
    std::vector<unsigned char> reference(text.size());
    check(EVP_DecodeBlock(reference.data(), u(text), n(text.size())) >= 0, "reference decoding failed");
    compare(
        state, text.size(),
        into(out, [&](std::string& to) { cc::base64_decode(text, to, false); }),
        [&] { benchmark::DoNotOptimize(EVP_DecodeBlock(reference.data(), u(text), n(text.size()))); });
}

// A body as the message reader sees it: lines of 76 characters and CR LF.
// OpenSSL's block decoder takes no line breaks, so it is given the lines one
// by one.
void decode_body(benchmark::State& state, void (*decode)(const std::string& text, std::string& out)) {
    const std::string data = random_bytes(static_cast<std::size_t>(state.range(0)));
    const std::string text = with_line_breaks(cc::base64_encode(data, true));
    std::string out;
    std::vector<unsigned char> reference(text.size());
    decode(text, out);
    check(out == data, "decoding differs");
    compare(
        state, text.size(), into(out, [&](std::string& to) { decode(text, to); }),
        [&] {
            unsigned char* to = reference.data();
            for (std::size_t i = 0; i < text.size(); i += 78) {
                const std::size_t line = std::min<std::size_t>(76, text.size() - i - 2);
                to += EVP_DecodeBlock(to, u(text) + i, n(line));
            }
            benchmark::DoNotOptimize(to);
        });
}

void base64_decode_lines(benchmark::State& state) {
    decode_body(state, [](const std::string& text, std::string& out) { cc::base64_decode(text, out, false); });
}

// The message reader's entry: a body section in one call, to the padding.
void sextet_decode_lines(benchmark::State& state) {
    decode_body(state, [](const std::string& text, std::string& out) {
        cc::detail::base64_codec.decode_lines(text, out);
    });
}

void hex_encode(benchmark::State& state) {
    const std::string data = random_bytes(static_cast<std::size_t>(state.range(0)));
    std::string out;
    std::vector<char> reference(data.size() * 2 + 1);
    std::size_t length = 0;
    compare(
        state, data.size(),
        into(out, [&](std::string& to) { cc::hex_encode(data, to); }),
        [&] {
            OPENSSL_buf2hexstr_ex(reference.data(), reference.size(), &length, u(data), data.size(), '\0');
            benchmark::DoNotOptimize(reference.data());
        });
}

void hex_decode(benchmark::State& state) {
    const std::string text = cc::hex_encode(random_bytes(static_cast<std::size_t>(state.range(0))));
    std::string out;
    std::vector<unsigned char> reference(text.size() / 2);
    std::size_t length = 0;
    check(OPENSSL_hexstr2buf_ex(reference.data(), reference.size(), &length, text.c_str(), '\0') == 1,
          "reference hex decoding failed");
    compare(
        state, text.size(),
        into(out, [&](std::string& to) { cc::hex_decode(text, to, true); }),
        [&] {
            OPENSSL_hexstr2buf_ex(reference.data(), reference.size(), &length, text.c_str(), '\0');
            benchmark::DoNotOptimize(reference.data());
        });
}

void quoted_printable_encode(benchmark::State& state) {
    const std::string data = text_bytes(static_cast<std::size_t>(state.range(0)));
    std::string out;
    std::vector<unsigned char> reference(data.size() / 3 * 4 + 5);
    compare(
        state, data.size(),
        into(out, [&](std::string& to) { cc::quoted_printable_encode(data, to); }),
        [&] { benchmark::DoNotOptimize(EVP_EncodeBlock(reference.data(), u(data), n(data.size()))); });
}

void quoted_printable_decode(benchmark::State& state) {
    const std::string text = cc::quoted_printable_encode(text_bytes(static_cast<std::size_t>(state.range(0))));
    std::string out;
    const std::string base64 = cc::base64_encode(text.substr(0, text.size() / 4 * 3), true);
    std::vector<unsigned char> reference(base64.size());
    compare(
        state, text.size(),
        into(out, [&](std::string& to) { cc::quoted_printable_decode(text, to, true); }),
        [&] { benchmark::DoNotOptimize(EVP_DecodeBlock(reference.data(), u(base64), n(base64.size()))); });
}

void sizes(benchmark::internal::Benchmark* b) {
    b->Arg(1 << 20)->Arg(64 << 20)->UseManualTime()->Unit(benchmark::kMillisecond);
}

}  // namespace

BENCHMARK(md5)->Apply(sizes);
BENCHMARK(base64_encode)->Apply(sizes);
BENCHMARK(base64_encode_lines)->Apply(sizes);
BENCHMARK(base64_decode)->Apply(sizes);
BENCHMARK(base64_decode_lines)->Apply(sizes);
BENCHMARK(sextet_encode_lines)->Apply(sizes);
BENCHMARK(sextet_decode_lines)->Apply(sizes);
BENCHMARK(hex_encode)->Apply(sizes);
BENCHMARK(hex_decode)->Apply(sizes);
BENCHMARK(quoted_printable_encode)->Apply(sizes);
BENCHMARK(quoted_printable_decode)->Apply(sizes);
