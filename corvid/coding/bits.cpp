// SPDX-License-Identifier: MIT
#include <corvid/coding/bits.h>

#include <corvid/coding/errors.h>
#include <corvid/coding/fast.h>
#include <corvid/format.h>

namespace corvid::coding {

namespace {

// Wider symbols would overflow the 32-bit accumulator; a width of 0 would
// never consume anything.
void check_width(unsigned bits) {
    if (bits < 1 || bits > 24) throw translate::generic(format("Symbol width %u out of range", bits));
}

// Every index that the mask lets through must name a symbol.
void check_symbols(unsigned bits, unsigned mask, std::string_view alphabet) {
    check_width(bits);
    if (mask >= alphabet.size())
        throw translate::generic(format("Mask 0x%X exceeds an alphabet of %zu symbols", mask, alphabet.size()));
}

}  // namespace

void throw_invalid_codeword(unsigned char byte) {
    throw translate::invalid_codeword(format("Invalid Codeword 0x%.2X", static_cast<unsigned>(byte)));
}

void encode_bits(std::string_view bytes, std::string& out, std::string_view alphabet, unsigned bits, unsigned mask) {
    check_symbols(bits, mask, alphabet);
    // The input may be a view of out itself; appending could move it.
    std::string copy;
    if (detail::overlaps(bytes, out)) bytes = copy.assign(bytes);

    std::uint32_t accumulator = 0;
    unsigned pending = 0;
    std::size_t next = 0;
    for (;;) {
        if (pending < bits) {
            if (next < bytes.size()) {
                accumulator = (accumulator << 8) | static_cast<unsigned char>(bytes[next++]);
                pending += 8;
                continue;
            }
            if (pending == 0) break;
            accumulator <<= bits - pending;
            pending = bits;
        }
        pending -= bits;
        out += alphabet[(accumulator >> pending) & mask];
    }
}

void encode_bits(std::uint64_t value, std::string& out, std::string_view alphabet, unsigned bits, unsigned mask) {
    check_symbols(bits, mask, alphabet);
    std::string symbols;
    do {
        symbols += alphabet[value & mask];
        value >>= bits;
    } while (value != 0);
    out.insert(out.begin(), symbols.rbegin(), symbols.rend());
}

void decode_bits(std::string_view text, std::string& out, const decode_table& table, unsigned bits, unsigned mask,
                 bool strict) {
    check_width(bits);
    std::string copy;
    if (detail::overlaps(text, out)) text = copy.assign(text);

    std::uint32_t accumulator = 0;
    unsigned pending = 0;
    int padding = -1;
    for (unsigned char byte : text) {
        std::int16_t symbol = table[byte];
        if (symbol < 0) {
            if (symbol == invalid_symbol && strict) throw_invalid_codeword(byte);
            if (strict) padding = byte;
            continue;
        }
        // A strict caller asked for validation: a skipped byte (padding)
        // may only end the text.
        if (padding >= 0) throw_invalid_codeword(static_cast<unsigned char>(padding));
        accumulator = (accumulator << bits) + (static_cast<unsigned>(symbol) & mask);
        pending += bits;
        while (pending >= 8) {
            pending -= 8;
            out += static_cast<char>((accumulator >> pending) & 0xFF);
        }
    }
}

void decode_bits(std::string_view text, std::uint64_t& value, const decode_table& table, unsigned bits,
                 unsigned mask, bool strict) {
    check_width(bits);
    int padding = -1;
    for (unsigned char byte : text) {
        std::int16_t symbol = table[byte];
        if (symbol < 0) {
            if (symbol == invalid_symbol && strict) throw_invalid_codeword(byte);
            if (strict) padding = byte;
            continue;
        }
        // A strict caller asked for validation: a skipped byte (padding)
        // may only end the text.
        if (padding >= 0) throw_invalid_codeword(static_cast<unsigned char>(padding));
        value = (value << bits) + (static_cast<unsigned>(symbol) & mask);
    }
}

}  // namespace corvid::coding
