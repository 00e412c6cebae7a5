#include <corvid/coding/fast.h>

#include <cstring>

namespace corvid::coding::detail {

void sextet_codec::encode(std::string_view bytes, std::string& out) const {
    std::string copy;
    if (overlaps(bytes, out)) bytes = copy.assign(bytes);

    const std::size_t groups = bytes.size() / 3;
    const std::size_t rest = bytes.size() % 3;
    const std::size_t start = out.size();
    out.resize(start + groups * 4 + (rest == 0 ? 0 : rest + 1));
    char* to = out.data() + start;
    const auto* from = reinterpret_cast<const unsigned char*>(bytes.data());

    for (std::size_t g = 0; g < groups; ++g, from += 3, to += 4) {
        std::uint32_t group = (std::uint32_t{from[0]} << 16) | (std::uint32_t{from[1]} << 8) | from[2];
        std::memcpy(to, pairs_[group >> 12], 2);
        std::memcpy(to + 2, pairs_[group & 0xFFF], 2);
    }
    // The last one or two bytes, completed with zero bits.
    if (rest == 1) {
        to[0] = symbols_[from[0] >> 2];
        to[1] = symbols_[(from[0] & 3) << 4];
    } else if (rest == 2) {
        to[0] = symbols_[from[0] >> 2];
        to[1] = symbols_[((from[0] & 3) << 4) | (from[1] >> 4)];
        to[2] = symbols_[(from[1] & 15) << 2];
    }
}

void sextet_codec::decode(std::string_view text, std::string& out, bool strict) const {
    std::string copy;
    if (overlaps(text, out)) text = copy.assign(text);

    const std::size_t start = out.size();
    out.resize(start + text.size() / 4 * 3 + 3);
    char* const begin = out.data() + start;
    char* to = begin;
    const auto* from = reinterpret_cast<const unsigned char*>(text.data());
    const auto* const end = from + text.size();

    // The engine's state; whenever no bits are pending the next four bytes
    // may be taken at once.
    std::uint32_t accumulator = 0;
    unsigned pending = 0;
    for (;;) {
        if (pending == 0) {
            while (end - from >= 4) {
                std::uint32_t group = shifted_[0][from[0]] | shifted_[1][from[1]] | shifted_[2][from[2]] |
                                      shifted_[3][from[3]];
                if (group & not_clean) break;
                to[0] = static_cast<char>(group >> 16);
                to[1] = static_cast<char>(group >> 8);
                to[2] = static_cast<char>(group);
                to += 3;
                from += 4;
            }
        }
        if (from == end) break;
        const unsigned char byte = *from++;
        const std::int16_t symbol = table_[byte];
        if (symbol < 0) {
            if (symbol == invalid_symbol && strict) {
                out.resize(start + static_cast<std::size_t>(to - begin));
                throw_invalid_codeword(byte);
            }
            continue;
        }
        accumulator = (accumulator << 6) | static_cast<std::uint32_t>(symbol);
        pending += 6;
        if (pending >= 8) {
            pending -= 8;
            *to++ = static_cast<char>(accumulator >> pending);
        }
    }
    out.resize(start + static_cast<std::size_t>(to - begin));
}

namespace {

constexpr char upper_hex[] = "0123456789ABCDEF";

}  // namespace

void escape_encode(std::string_view bytes, std::string& out, const plain_set& plain, char marker) {
    std::string copy;
    if (overlaps(bytes, out)) bytes = copy.assign(bytes);

    // Worst case three characters a byte, taken a slice at a time so that
    // mostly plain input never holds three times its size.
    constexpr std::size_t slice = 16384;
    std::size_t used = out.size();
    for (std::size_t offset = 0; offset < bytes.size(); offset += slice) {
        const std::string_view piece = bytes.substr(offset, slice);
        out.resize(used + piece.size() * 3);
        char* to = out.data() + used;
        char* const begin = to;
        for (unsigned char byte : piece) {
            if (plain[byte]) {
                *to++ = static_cast<char>(byte);
            } else {
                to[0] = marker;
                to[1] = upper_hex[byte >> 4];
                to[2] = upper_hex[byte & 15];
                to += 3;
            }
        }
        used += static_cast<std::size_t>(to - begin);
    }
    out.resize(used);
}

void escape_decode(std::string_view text, std::string& out, char marker, bool strict) {
    std::string copy;
    if (overlaps(text, out)) text = copy.assign(text);

    const std::size_t start = out.size();
    out.resize(start + text.size());
    char* const begin = out.data() + start;
    char* to = begin;
    std::size_t i = 0;
    while (i < text.size()) {
        const void* found = std::memchr(text.data() + i, marker, text.size() - i);
        const std::size_t at = found ? static_cast<std::size_t>(static_cast<const char*>(found) - text.data())
                                     : text.size();
        std::memcpy(to, text.data() + i, at - i);
        to += at - i;
        i = at;
        if (i == text.size()) break;
        // A marker in the last or second-to-last place is an ordinary byte.
        if (text.size() - i > 2) {
            const auto high = static_cast<unsigned char>(text[i + 1]);
            const auto low = static_cast<unsigned char>(text[i + 2]);
            const std::int16_t h = hex_table[high];
            const std::int16_t l = hex_table[low];
            if (h >= 0 && l >= 0) {
                *to++ = static_cast<char>((h << 4) | l);
                i += 3;
                continue;
            }
            if (strict) {
                out.resize(start + static_cast<std::size_t>(to - begin));
                throw_invalid_codeword(h < 0 ? high : low);
            }
        }
        *to++ = marker;
        ++i;
    }
    out.resize(start + static_cast<std::size_t>(to - begin));
}

}  // namespace corvid::coding::detail
