// SPDX-License-Identifier: MIT
#ifndef CORVID_VARIANT_VARIANT_H
#define CORVID_VARIANT_VARIANT_H

#include <corvid/exception.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <variant>

namespace corvid {

// A small tagged value: empty, an unsigned 64-bit integer, a single-precision
// float, a narrow string or a wide (UTF-16) string, with conversions between
// them. It is the library's one way of reading a decimal number from text:
// variant("250").as_integer() is 250, variant("25x").as_integer() is 25.
//
// Text that is not a number is no error: the numeric conversions yield 0.
// Conversions between the two string kinds go through the system's ANSI code
// page and throw unicode::unmappable_character for text it cannot carry.
// operator< throws type_mismatch for values of different kinds.
class variant {
public:
    CORVID_EXCEPTION(generic, corvid::exception, "variant");
    CORVID_EXCEPTION(type_mismatch, generic, "type_mismatch");

    // The kind numbers that kind() returns.
    enum : int { empty = 0, integer = 1, floating = 2, string = 3, wide_string = 4 };

    variant() noexcept = default;
    variant(bool value) noexcept;
    variant(std::uint32_t value) noexcept;
    variant(std::uint64_t value) noexcept;
    variant(float value) noexcept;
    variant(std::string value) noexcept;
    variant(std::u16string value) noexcept;
    // A null pointer gives the empty string of the kind.
    variant(const char* text);
    variant(const char16_t* text);

    int kind() const noexcept;
    // The value's bytes: null for empty, the characters for the string
    // kinds, the inline payload for the numbers. size() counts them (8 for
    // an integer, 4 for a float, two per UTF-16 code unit).
    const void* data() const noexcept;
    std::size_t size() const;

    // "1" alone is true for the string kinds; any nonzero number (NaN
    // included) for the numbers.
    bool as_boolean() const;
    // Decimal text is read as strtol does (leading white space, a sign, the
    // digits up to the first other character), saturating at the limits of
    // the result. A float is truncated toward zero; an integer keeps its low
    // 32 bits for as_integer and is read as signed by as_large.
    std::int32_t as_integer() const;
    std::int64_t as_large() const;
    double as_floating() const;
    // An integer prints as a signed decimal (values from 2^63 up print
    // negative), a float with six decimals ("1.500000").
    std::string as_string() const;
    std::u16string as_wide_string() const;

    // Orders two values of the same kind; empty sorts before empty (true).
    bool operator<(const variant& other) const;

private:
    std::variant<std::monostate, std::uint64_t, float, std::string, std::u16string> value_;
};

}  // namespace corvid

#endif
