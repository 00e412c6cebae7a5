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

// How much of bytes ends on a UTF-8 character boundary: a lead byte whose
// sequence is not complete yet waits. Any byte that is not a continuation
// starts a new sequence, so cutting before it changes nothing.
std::size_t utf8_complete(std::string_view bytes) {
    for (std::size_t back = 1; back <= 3 && back <= bytes.size(); ++back) {
        const auto byte = static_cast<unsigned char>(bytes[bytes.size() - back]);
        if ((byte & 0xC0) == 0x80) continue;
        const std::size_t need = byte >= 0xF5 ? 1 : byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC2 ? 2 : 1;
        return back < need ? bytes.size() - back : bytes.size();
    }
    return bytes.size();
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
            const std::size_t complete = last ? held.size() : utf8_complete(held);
            detail::utf8_to_wide(std::string_view(held).substr(0, complete), wide, from.strict);
            held.erase(0, complete);
            return;
        }
        if (!from.converter) from.converter = open(from.page, from.strict);
        detail::to_unicode(*from.converter, bytes, wide, from.strict, last,
                           from.page == detail::hz_codepage ? &hz_in : nullptr);
    }

    void encode(std::string& out, bool last) {
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
        wide.clear();
        decode(bytes, last);
        encode(out, last);
    }
};

transcoder::transcoder(int from, int to, bool substituting)
    : state_(std::make_unique<state>(from, to, substituting)) {}

transcoder::~transcoder() = default;

void transcoder::step(std::string_view bytes, std::string& out) { state_->run(bytes, out, false); }

void transcoder::finish(std::string& out) { state_->run({}, out, true); }

}  // namespace corvid::unicode
