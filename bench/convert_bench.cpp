// SPDX-License-Identifier: MIT
// Code-page conversion against ICU's own calls on the same data. Every
// benchmark times both sides in the same iteration and reports each side's
// MB/s (of input) and the ratio corvid / ICU; 1.0 means no overhead.

#include <corvid/unicode/convert.h>

#include <benchmark/benchmark.h>

#include <unicode/ucnv.h>
#include <unicode/ustring.h>

#include <chrono>
#include <memory>
#include <stdexcept>
#include <string>

namespace {

using clock_type = std::chrono::steady_clock;

// About 256 KiB of text that mixes ASCII with Latin, Cyrillic, Greek, CJK
// and a few characters outside the BMP, as mail bodies do.
const std::string& mixed_utf8() {
    static const std::string text = [] {
        const std::string paragraph =
            "Dear customer, the report of 12 March failed.\r\n"
            "Caf\xC3\xA9, na\xC3\xAFve, \xC3\x9C" "bergr\xC3\xB6\xC3\x9F" "e \xE2\x80\x94 50 \xE2\x82\xAC.\r\n"
            "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82, \xCE\xBA\xCE\xB1\xCE\xBB\xCE\xB7\xCE\xBC\xCE\xAD\xCF\x81\xCE\xB1.\r\n"
            "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\xE3\x81\xAE\xE3\x83\x86\xE3\x82\xAD\xE3\x82\xB9\xE3\x83\x88 "
            "\xE4\xB8\xAD\xE6\x96\x87 \xF0\x9F\x98\x80\xF0\x9F\x93\xA7\r\n";
        std::string all;
        while (all.size() < 256 * 1024) all += paragraph;
        return all;
    }();
    return text;
}

// The same amount of Western European text in windows-1252.
const std::string& western_1252() {
    static const std::string text = [] {
        const std::string paragraph =
            "Sehr geehrte Kundin, der Bericht vom 12. M\xE4rz ist fehlgeschlagen \x96 "
            "bitte pr\xFC" "fen Sie die Stra\xDF" "e. Co\xFBt : 50 \x80, \x93" "caf\xE9\x94.\r\n";
        std::string all;
        while (all.size() < 256 * 1024) all += paragraph;
        return all;
    }();
    return text;
}

struct converter_closer {
    void operator()(UConverter* converter) const noexcept { ucnv_close(converter); }
};

std::unique_ptr<UConverter, converter_closer> open_strict(const char* name) {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<UConverter, converter_closer> converter(ucnv_open(name, &status));
    ucnv_setToUCallBack(converter.get(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
    ucnv_setFromUCallBack(converter.get(), UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
    ucnv_setFallback(converter.get(), false);
    if (U_FAILURE(status)) throw std::runtime_error(u_errorName(status));
    return converter;
}

void check(UErrorCode status) {
    if (U_FAILURE(status)) throw std::runtime_error(u_errorName(status));
}

// ICU's one-call conversions with a converter the caller holds open.
std::u16string icu_to_wide(UConverter* converter, const std::string& text) {
    std::u16string wide(text.size(), u'\0');
    UErrorCode status = U_ZERO_ERROR;
    int32_t length = ucnv_toUChars(converter, wide.data(), static_cast<int32_t>(wide.size()), text.data(),
                                   static_cast<int32_t>(text.size()), &status);
    check(status);
    wide.resize(static_cast<std::size_t>(length));
    return wide;
}

std::string icu_to_narrow(UConverter* converter, const std::u16string& wide) {
    std::string bytes(wide.size() * ucnv_getMaxCharSize(converter), '\0');
    UErrorCode status = U_ZERO_ERROR;
    int32_t length = ucnv_fromUChars(converter, bytes.data(), static_cast<int32_t>(bytes.size()), wide.data(),
                                     static_cast<int32_t>(wide.size()), &status);
    check(status);
    bytes.resize(static_cast<std::size_t>(length));
    return bytes;
}

// Runs corvid and the reference alternately on input of `bytes` bytes and
// reports both throughputs and their ratio.
template <typename Corvid, typename Reference>
void compare(benchmark::State& state, std::size_t bytes, Corvid corvid, Reference reference) {
    clock_type::duration corvid_time{}, reference_time{};
    for (auto _ : state) {
        auto start = clock_type::now();
        benchmark::DoNotOptimize(corvid());
        auto middle = clock_type::now();
        benchmark::DoNotOptimize(reference());
        auto end = clock_type::now();
        corvid_time += middle - start;
        reference_time += end - middle;
    }
    const double megabytes = static_cast<double>(bytes) * static_cast<double>(state.iterations()) / 1e6;
    const double corvid_mbps = megabytes / std::chrono::duration<double>(corvid_time).count();
    const double reference_mbps = megabytes / std::chrono::duration<double>(reference_time).count();
    // Averaged, not summed, over the threads of a multi-threaded run.
    state.counters["corvid_MBps"] = benchmark::Counter(corvid_mbps, benchmark::Counter::kAvgThreads);
    state.counters["icu_MBps"] = benchmark::Counter(reference_mbps, benchmark::Counter::kAvgThreads);
    state.counters["ratio"] = benchmark::Counter(corvid_mbps / reference_mbps, benchmark::Counter::kAvgThreads);
}

void utf8_to_utf16(benchmark::State& state) {
    const std::string& text = mixed_utf8();
    compare(state, text.size(), [&] { return corvid::unicode::to_wide(text, 65001); },
            [&] {
                std::u16string wide(text.size(), u'\0');
                int32_t length = 0;
                UErrorCode status = U_ZERO_ERROR;
                u_strFromUTF8WithSub(wide.data(), static_cast<int32_t>(wide.size()), &length, text.data(),
                                     static_cast<int32_t>(text.size()), 0xFFFD, nullptr, &status);
                check(status);
                wide.resize(static_cast<std::size_t>(length));
                return wide;
            });
}

void utf16_to_utf8(benchmark::State& state) {
    const std::u16string wide = corvid::unicode::to_wide(mixed_utf8(), 65001);
    compare(state, wide.size() * 2, [&] { return corvid::unicode::to_narrow(wide, 65001); },
            [&] {
                std::string bytes(wide.size() * 3, '\0');
                int32_t length = 0;
                UErrorCode status = U_ZERO_ERROR;
                u_strToUTF8WithSub(bytes.data(), static_cast<int32_t>(bytes.size()), &length, wide.data(),
                                   static_cast<int32_t>(wide.size()), 0xFFFD, nullptr, &status);
                check(status);
                bytes.resize(static_cast<std::size_t>(length));
                return bytes;
            });
}

void windows1252_to_utf16(benchmark::State& state) {
    const std::string& text = western_1252();
    auto converter = open_strict("windows-1252");
    compare(state, text.size(), [&] { return corvid::unicode::to_wide(text, 1252); },
            [&] { return icu_to_wide(converter.get(), text); });
}

void utf16_to_windows1252(benchmark::State& state) {
    const std::u16string wide = corvid::unicode::to_wide(western_1252(), 1252);
    auto converter = open_strict("windows-1252");
    compare(state, wide.size() * 2, [&] { return corvid::unicode::to_narrow(wide, 1252); },
            [&] { return icu_to_narrow(converter.get(), wide); });
}

// Header words and short fields: here the per-call cost of finding the
// thread's converter shows. The reference holds its converter open.
void short_windows1252_to_utf16(benchmark::State& state) {
    const std::string text = "Re: Bericht vom 12. M\xE4rz";
    auto converter = open_strict("windows-1252");
    compare(state, text.size(), [&] { return corvid::unicode::to_wide(text, 1252); },
            [&] { return icu_to_wide(converter.get(), text); });
}

// What the converter cache saves: the same short conversion with a converter
// opened and closed on every call.
void short_windows1252_open_per_call(benchmark::State& state) {
    const std::string text = "Re: Bericht vom 12. M\xE4rz";
    compare(state, text.size(), [&] { return corvid::unicode::to_wide(text, 1252); },
            [&] {
                auto converter = open_strict("windows-1252");
                return icu_to_wide(converter.get(), text);
            });
}

}  // namespace

BENCHMARK(utf8_to_utf16);
BENCHMARK(utf16_to_utf8);
BENCHMARK(windows1252_to_utf16);
BENCHMARK(utf16_to_windows1252);
BENCHMARK(short_windows1252_to_utf16)->Threads(1)->Threads(2);
BENCHMARK(short_windows1252_open_per_call);
