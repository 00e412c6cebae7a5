// SPDX-License-Identifier: MIT
#ifndef CORVID_UNICODE_CONVERTER_CACHE_H
#define CORVID_UNICODE_CONVERTER_CACHE_H

// Internal: ICU converters kept open for reuse.

#include <memory>

#include <unicode/ucnv.h>

namespace corvid::unicode::detail {

struct converter_closer {
    void operator()(UConverter* converter) const noexcept { ucnv_close(converter); }
};
using converter_ptr = std::unique_ptr<UConverter, converter_closer>;

// A new converter for codepage, without fallback mappings (they would turn
// characters a page lacks into look-alikes without telling anyone). Throws
// invalid_codepage when no ICU converter serves codepage.
converter_ptr open_converter(int codepage);

// The calling thread's converter for codepage, opened on first use and kept
// until the thread ends. ICU converters carry conversion state and must not
// be shared between threads, so each thread has its own; callers reset the
// state before each conversion. Throws invalid_codepage when no ICU converter
// serves codepage.
UConverter& converter_for(int codepage);

}  // namespace corvid::unicode::detail

#endif
