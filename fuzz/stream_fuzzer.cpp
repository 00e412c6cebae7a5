// SPDX-License-Identifier: MIT
// Streaming codecs and the transcoder against their whole-input functions:
// the same input cut into pieces must give the same output and the same
// error. The first bytes choose the codec or code pages, the mode and the
// piece sizes; the rest is the input.

#include <corvid/coding/base64.h>
#include <corvid/coding/errors.h>
#include <corvid/coding/hex.h>
#include <corvid/coding/quoted_printable.h>
#include <corvid/coding/stream.h>
#include <corvid/coding/url.h>
#include <corvid/coding/uu.h>
#include <corvid/unicode/convert.h>
#include <corvid/unicode/errors.h>
#include <corvid/unicode/transcoder.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace cc = corvid::coding;
namespace cu = corvid::unicode;

namespace {

struct outcome {
    std::string out;
    std::string error;
    bool operator==(const outcome&) const = default;
};

template <typename Call>
outcome run(Call call) {
    outcome result;
    try {
        call(result.out);
    } catch (const corvid::exception& e) {
        result.error = e.what();
    }
    return result;
}

// Feeds input in pieces of 1 to 16 bytes, the sizes drawn from seed.
template <typename Stream>
outcome in_pieces(Stream& stream, std::string_view input, std::uint8_t seed) {
    return run([&](std::string& out) {
        unsigned state = seed | 1u;
        while (!input.empty()) {
            state = state * 1103515245u + 12345u;
            const std::size_t size = std::min<std::size_t>(1 + (state >> 16) % 16, input.size());
            stream.step(input.substr(0, size), out);
            input.remove_prefix(size);
        }
        stream.finish(out);
    });
}

void check(bool same) {
    if (!same) std::abort();
}

void codecs(std::uint8_t mode, std::uint8_t seed, std::string_view input) {
    const auto which = static_cast<cc::codec>(mode % 5);
    const bool strict = (mode / 5) % 2 == 1;
    const std::size_t wrap = (mode / 10) % 4 == 3 ? 76 : (mode / 10) % 4;
    const outcome whole_decode = run([&](std::string& out) {
        switch (which) {
        case cc::codec::hex: cc::hex_decode(input, out, strict); break;
        case cc::codec::base64: cc::base64_decode(input, out, strict); break;
        case cc::codec::uu: cc::uu_decode(input, out, strict); break;
        case cc::codec::quoted_printable: cc::quoted_printable_decode(input, out, strict); break;
        case cc::codec::url: cc::url_decode(input, out, strict); break;
        }
    });
    cc::stream_decoder decoder(which, strict);
    check(in_pieces(decoder, input, seed) == whole_decode);

    std::string text;
    switch (which) {
    case cc::codec::hex: text = cc::hex_encode(input); break;
    case cc::codec::base64: text = cc::base64_encode(input, true); break;
    case cc::codec::uu: text = cc::uu_encode(input); break;
    case cc::codec::quoted_printable: text = cc::quoted_printable_encode(input); break;
    case cc::codec::url: text = cc::url_encode(input); break;
    }
    outcome whole_encode;
    for (std::size_t i = 0; i < text.size(); i += wrap == 0 ? text.size() : wrap)
        whole_encode.out.append(text, i, wrap == 0 ? text.size() : wrap).append(wrap == 0 ? "" : "\n");
    cc::stream_encoder encoder(which, wrap);
    check(in_pieces(encoder, input, seed) == whole_encode);
}

void transcode(std::uint8_t mode, std::uint8_t seed, std::string_view input) {
    static constexpr int pages[] = {65001, 1200, 1201, 12000, 50221, 50220, 52936, 65000, 54936,
                                    932,   936,  949,  950,   1252,  28591, 51932, cu::no_codepage};
    constexpr unsigned count = sizeof pages / sizeof pages[0];
    const int from = pages[mode % count];
    const int to = pages[(mode / count) % count];
    const outcome whole = run([&](std::string& out) { out = cu::transcode(std::string(input), from, to); });
    cu::transcoder converter(from, to);
    const outcome pieces = in_pieces(converter, input, seed);
    // Pieces before a failing one may have been converted; the error is the same.
    check(whole.error.empty() ? pieces == whole : pieces.error == whole.error);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) return 0;
    const std::string_view input(reinterpret_cast<const char*>(data) + 3, size - 3);
    if (data[0] % 2 == 0)
        codecs(data[1], data[2], input);
    else
        transcode(data[1], data[2], input);
    return 0;
}
