#include <corvid/unicode/converter_cache.h>

#include <memory>
#include <vector>

#include <corvid/unicode/codepage_names.h>
#include <corvid/unicode/errors.h>

namespace corvid::unicode::detail {

namespace {

struct closer {
    void operator()(UConverter* converter) const noexcept { ucnv_close(converter); }
};

struct entry {
    int codepage;
    std::unique_ptr<UConverter, closer> converter;
};

// A thread uses few code pages, so a short list searched from the front
// beats a map; the most recently opened page is found first.
thread_local std::vector<entry> open_converters;

}  // namespace

UConverter& converter_for(int codepage) {
    for (auto it = open_converters.rbegin(); it != open_converters.rend(); ++it)
        if (it->codepage == codepage) return *it->converter;

    const char* name = icu_converter_name(codepage);
    if (name == nullptr) throw invalid_codepage("");
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<UConverter, closer> converter(ucnv_open(name, &status));
    if (U_FAILURE(status) || !converter) {
        if (status == U_MEMORY_ALLOCATION_ERROR) throw out_of_memory("");
        throw invalid_codepage("");
    }
    // Fallback mappings would turn characters a page lacks into look-alikes
    // without telling anyone; only round-trip mappings count.
    ucnv_setFallback(converter.get(), false);
    open_converters.push_back({codepage, std::move(converter)});
    return *open_converters.back().converter;
}

}  // namespace corvid::unicode::detail
