// SPDX-License-Identifier: MIT
#include <corvid/variant/variant.h>

#include <corvid/platform/locale.h>
#include <corvid/text.h>
#include <corvid/unicode/convert.h>

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace corvid {

namespace {

template <typename Char>
constexpr bool is_space(Char c) noexcept {
    return c == Char(' ') || (c >= Char('\t') && c <= Char('\r'));
}

// Float to integer conversion outside the target's range is undefined in
// C++; saturate instead, and read NaN as 0.
std::int64_t truncate(float value) noexcept {
    if (std::isnan(value)) return 0;
    if (value >= 9223372036854775807.0f) return std::numeric_limits<std::int64_t>::max();
    if (value <= -9223372036854775808.0f) return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(value);
}

// "%f" scanning in the classic locale, whatever the process's locale says
// about the decimal point. Text that is no number reads as 0.
float scan_float(const std::string& text) { return platform::classic_strtof(text.c_str()); }

float scan_float(const std::u16string& text) {
    // Nothing outside ASCII can be part of a number, so the scan stops there.
    std::string ascii;
    for (char16_t unit : text) {
        if (unit == 0 || unit > 127) break;
        ascii += static_cast<char>(unit);
    }
    return scan_float(ascii);
}

template <typename T>
std::string to_text(T value, auto... format) {
    char buffer[400];  // the longest "%f" of a float that double holds
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value, format...);
    return std::string(buffer, result.ptr);
}

}  // namespace

variant::variant(bool value) noexcept : value_(std::uint64_t{value ? 1u : 0u}) {}
variant::variant(std::uint32_t value) noexcept : value_(std::uint64_t{value}) {}
variant::variant(std::uint64_t value) noexcept : value_(value) {}
variant::variant(float value) noexcept : value_(value) {}
variant::variant(std::string value) noexcept : value_(std::move(value)) {}
variant::variant(std::u16string value) noexcept : value_(std::move(value)) {}
variant::variant(const char* text) : value_(std::string(text ? text : "")) {}
variant::variant(const char16_t* text) : value_(std::u16string(text ? text : u"")) {}

int variant::kind() const noexcept {
    return value_.valueless_by_exception() ? -1 : static_cast<int>(value_.index());
}

const void* variant::data() const noexcept {
    switch (kind()) {
    case integer: return std::get_if<std::uint64_t>(&value_);
    case floating: return std::get_if<float>(&value_);
    case string: return std::get<std::string>(value_).data();
    case wide_string: return std::get<std::u16string>(value_).data();
    default: return nullptr;
    }
}

std::size_t variant::size() const {
    switch (kind()) {
    case empty: return 0;
    case integer: return sizeof(std::uint64_t);
    case floating: return sizeof(float);
    case string: return std::get<std::string>(value_).size();
    case wide_string: return std::get<std::u16string>(value_).size() * sizeof(char16_t);
    default: throw type_mismatch("size() failed");
    }
}

bool variant::as_boolean() const {
    switch (kind()) {
    case empty: return false;
    case integer: return std::get<std::uint64_t>(value_) != 0;
    case floating: return std::get<float>(value_) != 0.0f;  // NaN is true
    case string: return std::get<std::string>(value_) == "1";
    case wide_string: return std::get<std::u16string>(value_) == u"1";
    default: throw generic("as_boolean() failed");
    }
}

std::int32_t variant::as_integer() const {
    switch (kind()) {
    case empty: return 0;
    case integer: return static_cast<std::int32_t>(static_cast<std::uint32_t>(std::get<std::uint64_t>(value_)));
    case floating:
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(truncate(std::get<float>(value_))));
    case string: return corvid::leading_decimal<std::int32_t>(std::get<std::string>(value_));
    case wide_string: return corvid::leading_decimal<std::int32_t>(std::get<std::u16string>(value_));
    default: throw generic("as_integer() failed");
    }
}

std::int64_t variant::as_large() const {
    switch (kind()) {
    case empty: return 0;
    case integer: return static_cast<std::int64_t>(std::get<std::uint64_t>(value_));
    case floating: return truncate(std::get<float>(value_));
    case string: return corvid::leading_decimal<std::int64_t>(std::get<std::string>(value_));
    case wide_string: return corvid::leading_decimal<std::int64_t>(std::get<std::u16string>(value_));
    default: throw generic("as_large() failed");
    }
}

double variant::as_floating() const {
    switch (kind()) {
    case empty: return 0.0;
    case integer: return static_cast<double>(std::get<std::uint64_t>(value_));
    case floating: return std::get<float>(value_);
    case string: return scan_float(std::get<std::string>(value_));
    case wide_string: return scan_float(std::get<std::u16string>(value_));
    default: throw generic("as_floating() failed");
    }
}

std::string variant::as_string() const {
    switch (kind()) {
    case empty: return {};
    case integer: return to_text(static_cast<std::int64_t>(std::get<std::uint64_t>(value_)));
    case floating:
        return to_text(static_cast<double>(std::get<float>(value_)), std::chars_format::fixed, 6);
    case string: return std::get<std::string>(value_);
    case wide_string: return unicode::to_narrow(std::get<std::u16string>(value_), 0);
    default: throw generic("as_string() failed");
    }
}

std::u16string variant::as_wide_string() const {
    if (kind() == wide_string) return std::get<std::u16string>(value_);
    return unicode::to_wide(as_string(), 0);
}

bool variant::operator<(const variant& other) const {
    if (kind() != other.kind()) throw type_mismatch("operator <() failed");
    switch (kind()) {
    case empty: return true;
    case integer: return std::get<std::uint64_t>(value_) < std::get<std::uint64_t>(other.value_);
    case floating: return std::get<float>(value_) < std::get<float>(other.value_);
    case string: return std::get<std::string>(value_) < std::get<std::string>(other.value_);
    case wide_string: return std::get<std::u16string>(value_) < std::get<std::u16string>(other.value_);
    default: throw type_mismatch("operator <() failed");
    }
}

}  // namespace corvid
