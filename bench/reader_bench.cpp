// SPDX-License-Identifier: MIT
// Reading messages against cutting the same text into lines, which any
// reader must do and which is linear. Each benchmark times both sides in the
// same iteration and reports the ratio reader / split; a ratio that stays
// the same while the input grows tenfold shows that reading is linear in
// the size, whatever its shape (many parts, many headers, one long line).

#include <corvid/internet/message2/entity.h>
#include <corvid/line_reader.h>

#include <benchmark/benchmark.h>

#include <chrono>
#include <string>
#include <vector>

namespace {

using clock_type = std::chrono::steady_clock;
using corvid::internet::message2::entity;

std::string many_parts(std::size_t parts) {
    std::string text = "Subject: parts\r\nContent-Type: multipart/mixed; boundary=\"sep\"\r\n\r\n";
    for (std::size_t i = 0; i < parts; ++i)
        text += "--sep\r\nContent-Type: text/plain\r\n\r\npart " + std::to_string(i) + "\r\n";
    return text + "--sep--\r\n";
}

std::string many_headers(std::size_t headers) {
    std::string text;
    for (std::size_t i = 0; i < headers; ++i) text += "X-Header-" + std::to_string(i) + ": value\r\n\tfolded\r\n";
    return text + "\r\nbody\r\n";
}

std::string one_line(std::size_t bytes) { return "Subject: long\r\n\r\n" + std::string(bytes, 'x'); }

std::string one_base64_line(std::size_t bytes) {
    return "Content-Transfer-Encoding: base64\r\n\r\n" + std::string(bytes / 4 * 4, 'Q');
}

void run(benchmark::State& state, const std::string& text) {
    double reader_seconds = 0;
    double split_seconds = 0;
    for (auto _ : state) {
        auto start = clock_type::now();
        std::vector<std::string> lines;
        corvid::line_reader reader(text);
        reader.finish();
        reader.get_lines(lines);
        benchmark::DoNotOptimize(lines.data());
        auto middle = clock_type::now();
        entity message(text);
        benchmark::DoNotOptimize(message.children.data());
        auto end = clock_type::now();
        split_seconds += std::chrono::duration<double>(middle - start).count();
        reader_seconds += std::chrono::duration<double>(end - middle).count();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
    state.counters["reader_vs_split"] = reader_seconds / split_seconds;
    state.counters["reader_ns_per_byte"] =
        reader_seconds * 1e9 / (static_cast<double>(state.iterations()) * static_cast<double>(text.size()));
}

void parts(benchmark::State& state) { run(state, many_parts(static_cast<std::size_t>(state.range(0)))); }
void headers(benchmark::State& state) { run(state, many_headers(static_cast<std::size_t>(state.range(0)))); }
void long_line(benchmark::State& state) { run(state, one_line(static_cast<std::size_t>(state.range(0)))); }
void long_base64_line(benchmark::State& state) {
    run(state, one_base64_line(static_cast<std::size_t>(state.range(0))));
}

BENCHMARK(parts)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMillisecond);
BENCHMARK(headers)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMillisecond);
BENCHMARK(long_line)->Arg(5'000'000)->Arg(50'000'000)->Unit(benchmark::kMillisecond);
BENCHMARK(long_base64_line)->Arg(5'000'000)->Arg(50'000'000)->Unit(benchmark::kMillisecond);

}  // namespace
