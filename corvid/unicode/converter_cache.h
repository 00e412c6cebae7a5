#ifndef CORVID_UNICODE_CONVERTER_CACHE_H
#define CORVID_UNICODE_CONVERTER_CACHE_H

// Internal: ICU converters kept open for reuse.

#include <unicode/ucnv.h>

namespace corvid::unicode::detail {

// The calling thread's converter for codepage, opened on first use and kept
// until the thread ends. ICU converters carry conversion state and must not
// be shared between threads, so each thread has its own; callers reset the
// state before each conversion. Throws invalid_codepage when no ICU converter
// serves codepage.
UConverter& converter_for(int codepage);

}  // namespace corvid::unicode::detail

#endif
