// SPDX-License-Identifier: MIT
#include <corvid/unicode/transcoder.h>

#include <corvid/unicode/converter_cache.h>
#include <corvid/unicode/convert.h>
#include <corvid/unicode/errors.h>
#include <corvid/unicode/icu_steps.h>

namespace corvid::unicode {

namespace {

using detail::converter_ptr;

// A converter of our own: its state must outlive each piece, which the
// thread's shared converters do not promise.
converter_ptr open(int page, bool strict) {
    converter_ptr converter = detail::open_converter(page);
    detail::set_callbacks(*converter, strict);
    return converter;
}

// One direction's page and what it holds between pieces.
struct side {
    int page;
    bool strict;
    converter_ptr converter;  // opened at the first text, as empty text needs no valid page
};

}  // namespace

struct transcoder::state {
    state(int from_page, int to_page, bool substituting)
        : from{detail::resolve(from_page), !substituting && allows_strict_flags(from_page), nullptr},
          to{detail::resolve(to_page), !substituting && allows_strict_flags(to_page), nullptr} {}

    side from, to;
    std::string held;     // UTF-8 bytes of an unfinished character
    char16_t high = 0;    // a high surrogate waiting for its partner (UTF-8 output)
    std::u16string wide;  // the current piece as wide text
    detail::hz_walker hz_in, hz_out;
    bool started = false;

    void decode(std::string_view bytes, bool last) {
        if (from.page == no_codepage) return detail::map_bytes(bytes, wide);
        if (from.page == utf8_codepage) {
            held.append(bytes);
            const std::size_t complete = last ? held.size() : detail::utf8_complete(held);
            detail::utf8_to_wide(std::string_view(held).substr(0, complete), wide, from.strict);
            held.erase(0, complete);
            return;
        }
        if (!from.converter) from.converter = open(from.page, from.strict);
        detail::to_unicode(*from.converter, bytes, wide, from.strict, last,
                           from.page == detail::hz_codepage ? &hz_in : nullptr);
    }

    void encode(std::string& out, bool last) {
        // Until some wide text comes, the page need not even be valid, as
        // to_narrow() takes empty text in any page.
        if (wide.empty() && !to.converter && high == 0) return;
        if (to.page == no_codepage) return detail::map_units(wide, out);
        if (to.page == utf8_codepage) {
            if (high != 0) wide.insert(wide.begin(), high);
            high = 0;
            if (!last && !wide.empty() && wide.back() >= 0xD800 && wide.back() <= 0xDBFF) {
                high = wide.back();
                wide.pop_back();
            }
            return detail::wide_to_utf8(wide, out, to.strict);
        }
        if (!to.converter) to.converter = open(to.page, to.strict);
        const std::size_t start = out.size();
        detail::from_unicode(*to.converter, wide, out, last);
        if (to.page != detail::hz_codepage) return;
        hz_out.see(std::string_view(out).substr(start));
        if (last) hz_out.close(out);
    }

    void run(std::string_view bytes, std::string& out, bool last) {
        // Empty text converts to nothing whatever the pages, as to_wide() has it.
        started = started || !bytes.empty();
        if (!started) return;
        // A piece at a time, so that the wide text between the two sides
        // stays small however much the caller hands over.
        do {
            const std::string_view piece = bytes.substr(0, detail::piece_size);
            bytes.remove_prefix(piece.size());
            const bool final = last && bytes.empty();
            wide.clear();
            decode(piece, final);
            encode(out, final);
        } while (!bytes.empty());
    }
};

transcoder::transcoder(int from, int to, bool substituting)
    : state_(std::make_unique<state>(from, to, substituting)) {}

transcoder::~transcoder() = default;

void transcoder::step(std::string_view bytes, std::string& out) { state_->run(bytes, out, false); }

void transcoder::finish(std::string& out) { state_->run({}, out, true); }

}  // namespace corvid::unicode
