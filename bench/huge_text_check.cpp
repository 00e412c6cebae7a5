// SPDX-License-Identifier: MIT
// Run by hand, never by CTest: converts a text of some 800 million ASCII
// characters, more than one ICU call takes, to wide text and back, then
// transcodes it to UTF-16, and says how long each took. Run it under
// /usr/bin/time -v for the peak memory, which should stay near input +
// output of the largest step (2.4 GB for the default size):
//
//   /usr/bin/time -v build/release/bench/huge_text_check [characters] [codepage]
//
// The code page defaults to UTF-8 (ICU's string functions); 1252 or 932 take
// the converter instead.

#include <corvid/unicode/convert.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

using clock_type = std::chrono::steady_clock;

// Printable ASCII in lines, the same in every code page the check takes.
char character_at(std::size_t i) { return i % 100 == 99 ? '\n' : static_cast<char>(' ' + i % 95); }

double seconds_since(clock_type::time_point start) {
    return std::chrono::duration<double>(clock_type::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    const std::size_t count = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 800'000'000;
    const int codepage = argc > 2 ? std::atoi(argv[2]) : corvid::unicode::utf8_codepage;

    std::string narrow(count, '\0');
    for (std::size_t i = 0; i < count; ++i) narrow[i] = character_at(i);

    auto start = clock_type::now();
    std::u16string wide = corvid::unicode::to_wide(narrow, codepage);
    std::printf("to_wide:   %zu bytes in %.2f s\n", narrow.size(), seconds_since(start));
    // The original goes before the way back, so that each way's peak shows.
    std::string().swap(narrow);

    start = clock_type::now();
    narrow = corvid::unicode::to_narrow(wide, codepage);
    std::printf("to_narrow: %zu units in %.2f s\n", wide.size(), seconds_since(start));

    bool same = wide.size() == count && narrow.size() == count;
    for (std::size_t i = 0; same && i < count; ++i) same = narrow[i] == character_at(i) && wide[i] == narrow[i];
    std::u16string().swap(wide);

    // Straight from page to page, which never holds the whole wide text.
    start = clock_type::now();
    const std::string utf16 = corvid::unicode::transcode(narrow, codepage, 1200);
    std::printf("transcode: %zu bytes to UTF-16 in %.2f s\n", narrow.size(), seconds_since(start));
    for (std::size_t i = 0; same && i < count; ++i) same = utf16[2 * i] == narrow[i] && utf16[2 * i + 1] == '\0';

    std::printf("%s\n", same ? "round trip exact" : "ROUND TRIP DIFFERS");
    return same ? 0 : 1;
}
