// SPDX-License-Identifier: MIT
#ifndef CORVID_UNICODE_CODEPAGE_NAMES_H
#define CORVID_UNICODE_CODEPAGE_NAMES_H

// Internal: which ICU converter serves a code page number.

#include <span>

namespace corvid::unicode::detail {

struct codepage_name {
    int codepage;
    const char* converter;
};

// Every code page that the conversions can serve, in ascending order.
std::span<const codepage_name> codepage_names() noexcept;

// The ICU converter name for codepage, or nullptr when we know none.
const char* icu_converter_name(int codepage) noexcept;

}  // namespace corvid::unicode::detail

#endif
