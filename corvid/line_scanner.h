// SPDX-License-Identifier: MIT
#ifndef CORVID_LINE_SCANNER_H
#define CORVID_LINE_SCANNER_H

#include <cstddef>
#include <cstring>

namespace corvid {

// Which terminator ended a line.
enum class line_end : unsigned char { none, cr, lf, cr_lf, lf_cr };

// Finds the line ends in bytes that arrive in pieces; every reader that cuts
// text into lines asks it, so that all of them pair CR and LF alike. CR, LF,
// CR LF and LF CR each end one line, also when the halves of a pair come in
// different pieces; CR CR and LF LF end two lines, the second empty.
// Invariant: the only state is the first half of a pair that ended the last
// line found while no byte after it had been seen; its second half is then
// dropped from the front of the next piece, and any other byte forgets it.
// The scanner keeps no bytes: the reader owns them and consumes what it is
// told. Never throws.
class line_scanner {
public:
    // What scan found in the unconsumed bytes. The line is [start, stop);
    // start is 1 when the first byte closed the previous line end. With end
    // none there is no line end yet, stop is the size, and the reader must
    // consume start bytes; otherwise the next line begins at next.
    struct line {
        std::size_t start = 0;
        std::size_t stop = 0;
        std::size_t next = 0;
        line_end end = line_end::none;

        bool found() const noexcept { return end != line_end::none; }
    };

    // Scans bytes[0, size), the input not consumed yet. The first `scanned`
    // bytes after start are known to hold no line end, so that a reader
    // whose partial line grows need not search it again. A CR or LF that is
    // the last byte given ends the line as cr or lf, and its other half, if
    // it comes, is dropped by the next scan.
    // Inline: the MIME reader cuts every line of a message with it.
    line scan(const char* bytes, std::size_t size, std::size_t scanned = 0) noexcept {
        line result;
        result.start = pending != 0 ? pair_rest(bytes, size) : 0;
        const char* stop = find_end(bytes + result.start + scanned, bytes + size);
        result.stop = static_cast<std::size_t>(stop - bytes);
        if (result.stop == size) return result;
        char first = *stop;
        result.next = result.stop + 1;
        if (result.next == size) {
            // Whether this is half of a pair shows only with the next byte.
            pending = first;
            result.end = first == cr ? line_end::cr : line_end::lf;
        } else if (char second = bytes[result.next]; is_end(second) && second != first) {
            ++result.next;
            result.end = first == cr ? line_end::cr_lf : line_end::lf_cr;
        } else {
            result.end = first == cr ? line_end::cr : line_end::lf;
        }
        return result;
    }

    // How many leading bytes (0 or 1) close the last line end, for a reader
    // that hands out raw bytes after a line. Forgets the pending half once
    // a byte is given.
    std::size_t pair_rest(const char* bytes, std::size_t size) noexcept;

    // Forgets the pending half: the next CR or LF ends a line of its own.
    void reset() noexcept { pending = 0; }
    // The CR or LF that ended the last line found while no byte after it has
    // been seen; 0 when there is none.
    char pending_half() const noexcept { return pending; }

    static bool is_end(char c) noexcept { return c == cr || c == lf; }

    // First CR or LF in [begin, end), or end. memchr covers many bytes a
    // step; going block by block keeps a text that uses only one of the two
    // from being searched to its very end for the other at every line, which
    // would make cutting it quadratic.
    static const char* find_end(const char* begin, const char* end) noexcept {
        constexpr std::size_t block = 256;
        if (begin != end && is_end(*begin)) return begin;  // an empty line
        while (begin != end) {
            auto size = static_cast<std::size_t>(end - begin);
            if (size > block) size = block;
            auto* found = static_cast<const char*>(std::memchr(begin, lf, size));
            if (found != nullptr) size = static_cast<std::size_t>(found - begin);
            auto* found_cr = static_cast<const char*>(std::memchr(begin, cr, size));
            if (found_cr != nullptr) return found_cr;
            if (found != nullptr) return found;
            begin += size;
        }
        return end;
    }

    // The length of the line end that starts at `at` (a CR or LF before
    // end): 2 for CR LF or LF CR, else 1.
    static std::size_t end_length(const char* at, const char* end) noexcept {
        return at + 1 != end && is_end(at[1]) && at[1] != at[0] ? 2 : 1;
    }

private:
    static constexpr char cr = '\r';
    static constexpr char lf = '\n';

    char pending = 0;
};

}  // namespace corvid

#endif
