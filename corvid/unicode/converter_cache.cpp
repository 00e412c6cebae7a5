// SPDX-License-Identifier: MIT
#include <corvid/unicode/converter_cache.h>

#include <memory>
#include <vector>

#include <corvid/unicode/codepage_names.h>
#include <corvid/unicode/errors.h>
#include <corvid/unicode/icu_steps.h>

namespace corvid::unicode::detail {

namespace {

struct entry {
    int codepage;
    converter_ptr converter;
};

// A thread uses few code pages, so a short list searched from the front
// beats a map; the most recently opened page is found first.
thread_local std::vector<entry> open_converters;

}  // namespace

converter_ptr open_converter(int codepage) {
    const char* name = icu_converter_name(codepage);
    if (name == nullptr) throw invalid_codepage("");
    UErrorCode status = U_ZERO_ERROR;
    converter_ptr converter(ucnv_open(name, &status));
    if (U_FAILURE(status) || !converter) {
        if (status == U_MEMORY_ALLOCATION_ERROR) throw_for(status, "ucnv_open");
        throw invalid_codepage("");
    }
    ucnv_setFallback(converter.get(), false);
    return converter;
}

UConverter& converter_for(int codepage) {
    for (auto it = open_converters.rbegin(); it != open_converters.rend(); ++it)
        if (it->codepage == codepage) return *it->converter;
    open_converters.push_back({codepage, open_converter(codepage)});
    return *open_converters.back().converter;
}

}  // namespace corvid::unicode::detail
