// SPDX-License-Identifier: MIT
#include <corvid/coding/fast.h>

#include <bit>
#include <cstring>

namespace corvid::coding::detail {

char* sextet_codec::encode_groups(const unsigned char* from, std::size_t groups, char* to) const {
    if (groups >= 8 && vectors()) return avx2_base64_encode(from, groups, to);
    // Two groups from one 8-byte load while at least 8 bytes are left to read.
    for (; groups >= 3; groups -= 2, from += 6, to += 8) {
        std::uint64_t word;
        std::memcpy(&word, from, 8);
        if constexpr (std::endian::native == std::endian::little) word = __builtin_bswap64(word);
        std::memcpy(to, pairs_[(word >> 52) & 0xFFF], 2);
        std::memcpy(to + 2, pairs_[(word >> 40) & 0xFFF], 2);
        std::memcpy(to + 4, pairs_[(word >> 28) & 0xFFF], 2);
        std::memcpy(to + 6, pairs_[(word >> 16) & 0xFFF], 2);
    }
    for (; groups != 0; --groups, from += 3, to += 4) {
        std::uint32_t group = (std::uint32_t{from[0]} << 16) | (std::uint32_t{from[1]} << 8) | from[2];
        std::memcpy(to, pairs_[group >> 12], 2);
        std::memcpy(to + 2, pairs_[group & 0xFFF], 2);
    }
    return to;
}

char* sextet_codec::encode_tail(const unsigned char* from, std::size_t rest, char* to) const {
    // The last one or two bytes, completed with zero bits.
    if (rest == 1) {
        *to++ = symbols_[from[0] >> 2];
        *to++ = symbols_[(from[0] & 3) << 4];
    } else if (rest == 2) {
        *to++ = symbols_[from[0] >> 2];
        *to++ = symbols_[((from[0] & 3) << 4) | (from[1] >> 4)];
        *to++ = symbols_[(from[1] & 15) << 2];
    }
    return to;
}

void sextet_codec::encode(std::string_view bytes, std::string& out, std::size_t padding) const {
    std::string copy;
    if (overlaps(bytes, out)) bytes = copy.assign(bytes);
    const auto* from = reinterpret_cast<const unsigned char*>(bytes.data());
    std::size_t groups = bytes.size() / 3;
    const std::size_t rest = bytes.size() % 3;
    const std::size_t size = groups * 4 + (rest == 0 ? 0 : rest + 1);

    // Short input, such as a line of a body or an encoded word, is written
    // in place; clearing a few bytes first costs nothing. So is output for
    // which a reused buffer already has room: its memory is mapped, and
    // clearing it costs less than copying from pieces. Fresh room is written
    // once, from pieces.
    if (size <= piece_writer::capacity || out.capacity() - out.size() >= size + padding) {
        const std::size_t start = out.size();
        if (out.capacity() - start < size + padding) out.reserve(start + size + padding);
        out.resize(start + size);
        encode_tail(from + groups * 3, rest, encode_groups(from, groups, out.data() + start));
        return;
    }

    out.reserve(out.size() + size + padding);
    piece_writer writer(out);
    constexpr std::size_t groups_per_piece = piece_writer::capacity / 4;
    while (groups != 0) {
        const std::size_t count = groups < groups_per_piece ? groups : groups_per_piece;
        writer.advance(encode_groups(from, count, writer.room(count * 4)));
        from += count * 3;
        groups -= count;
    }
    writer.advance(encode_tail(from, rest, writer.room(3)));
    writer.flush();
}

void sextet_codec::decode(std::string_view text, std::string& out, bool strict, decode_state& state) const {
    decode_text(text, out, strict ? mode::strict : mode::lenient, state);
}

std::size_t sextet_codec::decode_text(std::string_view text, std::string& out, mode how,
                                      decode_state& state) const {
    std::string copy;
    if (overlaps(text, out)) text = copy.assign(text);
    out.reserve(out.size() + text.size() / 4 * 3 + 2);

    piece_writer writer(out);
    const auto* const begin = reinterpret_cast<const unsigned char*>(text.data());
    const auto* from = begin;
    const auto* const end = from + text.size();
    const bool vector = vectors();
    const bool strict = how == mode::strict;
    // The engine's state; whenever no bits are pending the next four bytes
    // may be taken at once.
    std::uint32_t& accumulator = state.accumulator;
    unsigned& pending = state.pending;
    while (from != end) {
        // Each pass writes at most 3 bytes per 4 symbols, plus one; the
        // wide stores write up to 8 bytes beyond.
        constexpr std::size_t piece = (piece_writer::capacity - 32) / 3 * 4;
        const auto* const stop = end - from > static_cast<std::ptrdiff_t>(piece) ? from + piece : end;
        char* to = writer.room(piece_writer::capacity);
        while (from != stop) {
            if (pending == 0 && state.padding < 0) {
                if (vector) from = avx2_base64_decode(from, stop, to, !strict);
                while (stop - from >= 8) {
                    const std::uint32_t first = shifted_[0][from[0]] | shifted_[1][from[1]] |
                                                shifted_[2][from[2]] | shifted_[3][from[3]];
                    const std::uint32_t second = shifted_[0][from[4]] | shifted_[1][from[5]] |
                                                 shifted_[2][from[6]] | shifted_[3][from[7]];
                    if ((first | second) & not_clean) break;
                    // Six bytes as two 4-byte stores; each spare byte is
                    // overwritten next (the buffer has room for it).
                    std::uint32_t high = first << 8, low = second << 8;
                    if constexpr (std::endian::native == std::endian::little) {
                        high = __builtin_bswap32(high);
                        low = __builtin_bswap32(low);
                    }
                    std::memcpy(to, &high, 4);
                    std::memcpy(to + 3, &low, 4);
                    to += 6;
                    from += 8;
                }
                while (stop - from >= 4) {
                    std::uint32_t group = shifted_[0][from[0]] | shifted_[1][from[1]] | shifted_[2][from[2]] |
                                          shifted_[3][from[3]];
                    if (group & not_clean) break;
                    // One 4-byte store; the spare byte is overwritten next
                    // (the buffer has room for it).
                    std::uint32_t bytes = group << 8;
                    if constexpr (std::endian::native == std::endian::little) bytes = __builtin_bswap32(bytes);
                    std::memcpy(to, &bytes, 4);
                    to += 3;
                    from += 4;
                }
                if (from == stop) break;
            }
            const unsigned char byte = *from;
            const std::int16_t symbol = table_[byte];
            if (symbol < 0) {
                if (how == mode::lines && byte != '\r' && byte != '\n') {
                    writer.advance(to);
                    writer.flush();
                    return static_cast<std::size_t>(from - begin);
                }
                ++from;
                if (symbol == invalid_symbol && strict) {
                    writer.advance(to);
                    writer.flush();
                    throw_invalid_codeword(byte);
                }
                if (strict) state.padding = byte;
                continue;
            }
            ++from;
            // A strict caller asked for validation: padding ends the text.
            if (state.padding >= 0) {
                writer.advance(to);
                writer.flush();
                throw_invalid_codeword(static_cast<unsigned char>(state.padding));
            }
            accumulator = (accumulator << 6) | static_cast<std::uint32_t>(symbol);
            pending += 6;
            if (pending >= 8) {
                pending -= 8;
                *to++ = static_cast<char>(accumulator >> pending);
            }
        }
        writer.advance(to);
        writer.flush();
    }
    return text.size();
}

void sextet_codec::encode_lines(std::string_view bytes, std::string& out, std::size_t line_length,
                                bool pad) const {
    std::string copy;
    if (overlaps(bytes, out)) bytes = copy.assign(bytes);
    // A line shorter than a group could never end; it holds one group.
    const std::size_t line_groups = line_length < 4 ? 1 : line_length / 4;
    const std::size_t chunk = line_groups * 3;
    const std::size_t lines = (bytes.size() + chunk - 1) / chunk;
    const std::size_t rest = bytes.size() % 3;
    const std::size_t symbols = bytes.size() / 3 * 4 + (rest == 0 ? 0 : pad ? 4 : rest + 1);
    out.reserve(out.size() + symbols + (lines == 0 ? 0 : 2 * (lines - 1)));

    piece_writer writer(out);
    const auto* from = reinterpret_cast<const unsigned char*>(bytes.data());
    std::size_t left = bytes.size();
    std::size_t line = 0;
    // All lines but the last are whole; the vector route writes as many as
    // a piece holds at a time.
    const std::size_t line_size = line_groups * 4 + 2;
    if (line_groups >= 8 && line_size <= piece_writer::capacity && vectors()) {
        constexpr std::size_t piece = piece_writer::capacity;
        while (line + 1 < lines) {
            const std::size_t count = lines - 1 - line < piece / line_size ? lines - 1 - line : piece / line_size;
            writer.advance(avx2_base64_encode_lines(from, count, line_groups, writer.room(count * line_size)));
            from += count * chunk;
            left -= count * chunk;
            line += count;
        }
    }
    static_assert(piece_writer::capacity >= 4096);
    for (; line < lines; ++line) {
        const std::size_t take = left < chunk ? left : chunk;
        const std::size_t groups = take / 3;
        // Longer lines than a piece holds are written a piece at a time.
        for (std::size_t done = 0; done < groups;) {
            const std::size_t count = groups - done < 1024 ? groups - done : 1024;
            writer.advance(encode_groups(from + done * 3, count, writer.room(count * 4)));
            done += count;
        }
        from += groups * 3;
        left -= take;
        char* to = writer.room(6);
        if (line + 1 < lines) {
            to[0] = '\r';
            to[1] = '\n';
            to += 2;
        } else {
            char* const start = to;
            to = encode_tail(from, take % 3, to);
            if (pad && to != start)
                while ((to - start) % 4 != 0) *to++ = '=';
        }
        writer.advance(to);
    }
    writer.flush();
}

std::size_t sextet_codec::decode_lines(std::string_view text, std::string& out) const {
    decode_state state;
    return decode_text(text, out, mode::lines, state);
}

namespace {

constexpr char upper_hex[] = "0123456789ABCDEF";

}  // namespace

void escape_encode(std::string_view bytes, std::string& out, const plain_set& plain, char marker) {
    std::string copy;
    if (overlaps(bytes, out)) bytes = copy.assign(bytes);
    out.reserve(out.size() + bytes.size());

    piece_writer writer(out);
    constexpr std::size_t piece = piece_writer::capacity / 3;
    for (std::size_t offset = 0; offset < bytes.size(); offset += piece) {
        char* to = writer.room(piece_writer::capacity);
        for (unsigned char byte : bytes.substr(offset, piece)) {
            if (plain[byte]) {
                *to++ = static_cast<char>(byte);
            } else {
                to[0] = marker;
                to[1] = upper_hex[byte >> 4];
                to[2] = upper_hex[byte & 15];
                to += 3;
            }
        }
        writer.advance(to);
    }
    writer.flush();
}

std::size_t escape_decode(std::string_view text, std::string& out, char marker, bool strict, bool last) {
    std::string copy;
    if (overlaps(text, out)) text = copy.assign(text);
    out.reserve(out.size() + text.size());

    std::size_t i = 0;
    while (i < text.size()) {
        const void* found = std::memchr(text.data() + i, marker, text.size() - i);
        const std::size_t at = found ? static_cast<std::size_t>(static_cast<const char*>(found) - text.data())
                                     : text.size();
        out.append(text, i, at - i);
        i = at;
        if (i == text.size()) break;
        if (!last && text.size() - i <= 2) return i;
        // A marker in the last or second-to-last place is an ordinary byte.
        if (text.size() - i > 2) {
            const auto high = static_cast<unsigned char>(text[i + 1]);
            const auto low = static_cast<unsigned char>(text[i + 2]);
            const std::int16_t h = hex_table[high];
            const std::int16_t l = hex_table[low];
            if (h >= 0 && l >= 0) {
                out += static_cast<char>((h << 4) | l);
                i += 3;
                continue;
            }
            if (strict) throw_invalid_codeword(h < 0 ? high : low);
        }
        out += marker;
        ++i;
    }
    return text.size();
}

}  // namespace corvid::coding::detail
