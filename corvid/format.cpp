// SPDX-License-Identifier: MIT
#include <corvid/format.h>

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <type_traits>
#include <corvid/exception.h>

namespace corvid {

namespace {

// Releases a va_list copy on every path, exceptions included.
struct va_list_guard {
    std::va_list& args;
    ~va_list_guard() { va_end(args); }
};

void append_bytes(std::u16string& out, const char* bytes, std::size_t count) {
    // Bytes widen as unsigned values: a plain char above 127 is negative.
    for (std::size_t i = 0; i < count; ++i) out.push_back(static_cast<unsigned char>(bytes[i]));
}

// Only for error messages: the conversion as readable narrow text.
std::string narrow_spec(const char16_t* begin, const char16_t* end) {
    std::string text;
    for (const char16_t* p = begin; p != end && *p != 0; ++p) text += *p < 128 ? static_cast<char>(*p) : '?';
    return "\"" + text + "\"";
}

template <typename T>
void append_number(std::u16string& out, const std::string& spec, T value) {
    char small[128];
    int length = std::snprintf(small, sizeof small, spec.c_str(), value);
    if (length < 0) throw exception("wformat() could not render \"" + spec + "\"");
    if (static_cast<std::size_t>(length) < sizeof small) {
        append_bytes(out, small, static_cast<std::size_t>(length));
        return;
    }
    std::string large(static_cast<std::size_t>(length), '\0');
    std::snprintf(large.data(), large.size() + 1, spec.c_str(), value);
    append_bytes(out, large.data(), large.size());
}

template <typename Char>
void append_padded(std::u16string& out, const Char* text, std::size_t count, int width, bool left) {
    std::size_t padding = width > 0 && static_cast<std::size_t>(width) > count ? width - count : 0;
    if (!left) out.append(padding, u' ');
    if constexpr (sizeof(Char) == 1)
        append_bytes(out, text, count);
    else
        out.append(text, count);
    if (left) out.append(padding, u' ');
}

// Length of a NUL-terminated text, but never reading past precision units.
template <typename Char>
std::size_t bounded_length(const Char* text, int precision) {
    std::size_t limit = precision < 0 ? SIZE_MAX : static_cast<std::size_t>(precision);
    std::size_t count = 0;
    while (count < limit && text[count] != 0) ++count;
    return count;
}

int read_decimal(const char16_t*& p, const char16_t* spec_begin) {
    int value = 0;
    while (*p >= u'0' && *p <= u'9') {
        int digit = *p - u'0';
        if (value > (INT_MAX - digit) / 10)
            throw exception("wformat() width or precision too large in " + narrow_spec(spec_begin, p + 1));
        value = value * 10 + digit;
        ++p;
    }
    return value;
}

enum class length_modifier { none, hh, h, l, ll, j, z, t, big_l };

// Reads one integer argument of the type that the length modifier names;
// false for a modifier that integers do not take.
template <bool is_signed>
bool append_integer(std::u16string& out, const std::string& spec, length_modifier length, std::va_list& ap) {
    using plain = std::conditional_t<is_signed, int, unsigned>;
    using wide = std::conditional_t<is_signed, long, unsigned long>;
    using wider = std::conditional_t<is_signed, long long, unsigned long long>;
    using widest = std::conditional_t<is_signed, std::intmax_t, std::uintmax_t>;
    using size = std::conditional_t<is_signed, std::ptrdiff_t, std::size_t>;
    switch (length) {
        case length_modifier::none:
        case length_modifier::hh:
        case length_modifier::h: append_number(out, spec, va_arg(ap, plain)); return true;
        case length_modifier::l: append_number(out, spec, va_arg(ap, wide)); return true;
        case length_modifier::ll: append_number(out, spec, va_arg(ap, wider)); return true;
        case length_modifier::j: append_number(out, spec, va_arg(ap, widest)); return true;
        case length_modifier::z:
        case length_modifier::t: append_number(out, spec, va_arg(ap, size)); return true;
        case length_modifier::big_l: break;
    }
    return false;
}

}  // namespace

std::string format(const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    va_list_guard guard{args};
    return vformat(format, args);
}

std::string vformat(const char* format, std::va_list args) {
    // Most texts fit the stack buffer; a longer one is formatted a second
    // time straight into a string of the size the first pass reported.
    char buffer[1024];
    std::va_list first;
    va_copy(first, args);
    int length;
    {
        va_list_guard guard{first};
        length = std::vsnprintf(buffer, sizeof buffer, format, first);
    }
    // A negative result never improves with a larger buffer (the text would
    // exceed INT_MAX, or a wide character has no form in the locale).
    if (length < 0) throw exception("format() could not render its text");
    if (static_cast<std::size_t>(length) < sizeof buffer) return std::string(buffer, static_cast<std::size_t>(length));
    std::string result(static_cast<std::size_t>(length), '\0');
    std::va_list second;
    va_copy(second, args);
    va_list_guard guard{second};
    if (std::vsnprintf(result.data(), result.size() + 1, format, second) != length)
        throw exception("format() rendered its text differently on the second pass");
    return result;
}

std::u16string wformat(const char16_t* format, ...) {
    std::va_list args;
    va_start(args, format);
    va_list_guard guard{args};
    return vwformat(format, args);
}

std::u16string vwformat(const char16_t* format, std::va_list args) {
    std::va_list ap;
    va_copy(ap, args);
    va_list_guard guard{ap};
    std::u16string out;
    out.reserve(1024);
    const char16_t* p = format;
    while (*p != 0) {
        if (*p != u'%') {
            const char16_t* start = p;
            while (*p != 0 && *p != u'%') ++p;
            out.append(start, p);
            continue;
        }
        const char16_t* spec_begin = p++;
        std::string spec = "%";
        bool left = false;
        while (*p == u'-' || *p == u'+' || *p == u' ' || *p == u'#' || *p == u'0' || *p == u'\'') {
            left = left || *p == u'-';
            spec += static_cast<char>(*p++);
        }
        int width = -1;
        if (*p == u'*') {
            ++p;
            int value = va_arg(ap, int);
            if (value < 0) {
                // A negative "*" width means a left-justified field.
                left = true;
                spec += '-';
                value = value == INT_MIN ? INT_MAX : -value;
            }
            width = value;
        } else if (*p >= u'0' && *p <= u'9') {
            width = read_decimal(p, spec_begin);
        }
        if (width >= 0) spec += std::to_string(width);
        int precision = -1;
        if (*p == u'.') {
            ++p;
            if (*p == u'*') {
                ++p;
                int value = va_arg(ap, int);
                precision = value < 0 ? -1 : value;  // negative means none given
            } else {
                precision = read_decimal(p, spec_begin);
            }
            if (precision >= 0) {
                // Two appends rather than "." + ...: g++ 12 warns falsely
                // about overlapping copies in the temporary at -O3.
                spec += '.';
                spec += std::to_string(precision);
            }
        }
        length_modifier length = length_modifier::none;
        const char16_t* length_begin = p;
        switch (*p) {
            case u'h': length = p[1] == u'h' ? (++p, length_modifier::hh) : length_modifier::h; ++p; break;
            case u'l': length = p[1] == u'l' ? (++p, length_modifier::ll) : length_modifier::l; ++p; break;
            case u'j': length = length_modifier::j; ++p; break;
            case u'z': length = length_modifier::z; ++p; break;
            case u't': length = length_modifier::t; ++p; break;
            case u'L': length = length_modifier::big_l; ++p; break;
            default: break;
        }
        for (const char16_t* q = length_begin; q != p; ++q) spec += static_cast<char>(*q);
        char16_t conversion = *p;
        if (conversion == 0) throw exception("wformat() format ends inside " + narrow_spec(spec_begin, p));
        ++p;
        auto unknown = [&] { return exception("wformat() unknown conversion " + narrow_spec(spec_begin, p)); };
        if (conversion < 128) spec += static_cast<char>(conversion);
        switch (conversion) {
            case u'%':
                out += u'%';
                break;
            case u'd':
            case u'i':
                if (!append_integer<true>(out, spec, length, ap)) throw unknown();
                break;
            case u'o':
            case u'u':
            case u'x':
            case u'X':
                if (!append_integer<false>(out, spec, length, ap)) throw unknown();
                break;
            case u'e':
            case u'E':
            case u'f':
            case u'F':
            case u'g':
            case u'G':
            case u'a':
            case u'A':
                if (length == length_modifier::big_l)
                    append_number(out, spec, va_arg(ap, long double));
                else if (length == length_modifier::none || length == length_modifier::l)
                    append_number(out, spec, va_arg(ap, double));
                else
                    throw unknown();
                break;
            case u'p':
                if (length != length_modifier::none) throw unknown();
                append_number(out, spec, va_arg(ap, void*));
                break;
            case u'c':
            case u'C':
                if (length == length_modifier::h && conversion == u'c') {
                    char byte = static_cast<char>(va_arg(ap, int));
                    append_padded(out, &byte, 1, width, left);
                } else if (length == length_modifier::none || (length == length_modifier::l && conversion == u'c')) {
                    char16_t unit = static_cast<char16_t>(va_arg(ap, int));
                    append_padded(out, &unit, 1, width, left);
                } else {
                    throw unknown();
                }
                break;
            case u's':
            case u'S':
                if (length == length_modifier::h && conversion == u's') {
                    const char* text = va_arg(ap, const char*);
                    if (text == nullptr) text = "(null)";
                    append_padded(out, text, bounded_length(text, precision), width, left);
                } else if (length == length_modifier::none || (length == length_modifier::l && conversion == u's')) {
                    const char16_t* text = va_arg(ap, const char16_t*);
                    if (text == nullptr) text = u"(null)";
                    append_padded(out, text, bounded_length(text, precision), width, left);
                } else {
                    throw unknown();
                }
                break;
            case u'n':
                // Writing through an argument pointer is never needed to build
                // a text and is the classic format-string exploit.
                throw exception("wformat() does not support %n");
            default:
                throw unknown();
        }
    }
    return out;
}

}  // namespace corvid
