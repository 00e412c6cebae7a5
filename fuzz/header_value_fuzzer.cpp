// SPDX-License-Identifier: MIT
// Parses arbitrary bytes as header text with each value kind, renders the
// result and parses the rendering again. The first byte picks the charset
// the kinds start from, so conversion in several code pages is reached.

#include <corvid/exception.h>
#include <corvid/internet/message2/header_type/addresses_value_type.h>
#include <corvid/internet/message2/header_type/parametized_value_type.h>
#include <corvid/internet/message2/header_type/unstructured_value_type.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace {

namespace header_type = corvid::internet::message2::header_type;

template <typename Kind>
void round_trip(const std::string& charset, const std::string& raw) {
    try {
        Kind kind(charset);
        kind.parse(raw);
        Kind again(charset);
        again.parse(kind.render());
    } catch (const corvid::exception&) {
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    static const char* const charsets[] = {"iso-8859-1", "utf-8", "us-ascii", "windows-1252", "shift_jis", "x-unknown"};
    const std::string charset = charsets[data[0] % (sizeof charsets / sizeof charsets[0])];
    const std::string raw(reinterpret_cast<const char*>(data) + 1, size - 1);
    round_trip<header_type::unstructured_value_type>(charset, raw);
    round_trip<header_type::parametized_value_type>(charset, raw);
    round_trip<header_type::addresses_value_type>(charset, raw);
    static_cast<void>(header_type::generic_value_type::tokenize(raw, ";,=", true));
    return 0;
}
