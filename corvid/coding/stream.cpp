// SPDX-License-Identifier: MIT
#include <corvid/coding/stream.h>

#include <corvid/coding/base64.h>
#include <corvid/coding/fast.h>
#include <corvid/coding/hex.h>
#include <corvid/coding/quoted_printable.h>
#include <corvid/coding/url.h>
#include <corvid/coding/uu.h>

#include <algorithm>

namespace corvid::coding {

namespace {

bool grouped(codec which) { return which == codec::base64 || which == codec::uu; }

void encode_whole(codec which, std::string_view bytes, std::string& out) {
    switch (which) {
    case codec::hex: hex_encode(bytes, out); break;
    case codec::base64: detail::base64_codec.encode(bytes, out); break;
    case codec::uu: uu_encode(bytes, out); break;
    case codec::quoted_printable: quoted_printable_encode(bytes, out); break;
    case codec::url: url_encode(bytes, out); break;
    }
}

char marker(codec which) { return which == codec::url ? '%' : '='; }

}  // namespace

void stream_encoder::step(std::string_view bytes, std::string& out) {
    // Without lines the text goes straight to out.
    std::string& text = wrap_ == 0 ? out : text_;
    text_.clear();
    if (grouped(which_)) {
        // Complete the group left over from the last piece first, so that
        // every call encodes whole groups only.
        if (grouped_ != 0) {
            char group[3] = {group_[0], group_[1], 0};
            const std::size_t take = std::min(3 - grouped_, bytes.size());
            for (std::size_t i = 0; i < take; ++i) group[grouped_ + i] = bytes[i];
            bytes.remove_prefix(take);
            if (grouped_ + take < 3) {
                group_[0] = group[0];
                group_[1] = group[1];
                grouped_ += take;
                return;
            }
            encode_whole(which_, std::string_view(group, 3), text);
            grouped_ = 0;
        }
        const std::size_t rest = bytes.size() % 3;
        for (std::size_t i = 0; i < rest; ++i) group_[i] = bytes[bytes.size() - rest + i];
        grouped_ = rest;
        bytes.remove_suffix(rest);
    }
    encode_whole(which_, bytes, text);
    if (wrap_ != 0) emit(out);
}

void stream_encoder::finish(std::string& out) {
    text_.clear();
    const std::string_view group(group_, grouped_);
    if (which_ == codec::base64)
        base64_encode(group, text_, true);
    else if (which_ == codec::uu)
        uu_encode(group, text_);
    grouped_ = 0;
    emit(out);
    if (wrap_ != 0 && column_ != 0) out += '\n';
    column_ = 0;
}

void stream_encoder::emit(std::string& out) {
    if (wrap_ == 0) {
        out += text_;
        return;
    }
    out.reserve(out.size() + text_.size() + text_.size() / wrap_ + 1);
    for (std::size_t i = 0; i < text_.size();) {
        const std::size_t take = std::min(wrap_ - column_, text_.size() - i);
        out.append(text_, i, take);
        i += take;
        column_ += take;
        if (column_ == wrap_) {
            out += '\n';
            column_ = 0;
        }
    }
}

void stream_decoder::step(std::string_view text, std::string& out) {
    switch (which_) {
    case codec::hex: detail::hex_decode(text, out, strict_, high_); return;
    case codec::base64: detail::base64_codec.decode(text, out, strict_, bits_); return;
    case codec::uu: detail::uu_codec.decode(text, out, strict_, bits_); return;
    case codec::quoted_printable:
    case codec::url: break;
    }
    if (!held_.empty()) {
        // The held marker decides with the first bytes of this piece; the
        // rest of the piece then needs no copy.
        const std::size_t old = held_.size();
        held_.append(text.substr(0, 2));
        const std::size_t used = detail::escape_decode(held_, out, marker(which_), strict_, false);
        if (used < old) {
            held_.erase(0, used);
            return;  // the piece was too short to decide
        }
        held_.clear();
        text.remove_prefix(used - old);
    }
    const std::size_t used = detail::escape_decode(text, out, marker(which_), strict_, false);
    held_.assign(text.substr(used));
}

void stream_decoder::finish(std::string& out) {
    if (!held_.empty()) detail::escape_decode(held_, out, marker(which_), strict_, true);
    held_.clear();
    bits_ = {};
    high_ = -1;
}

}  // namespace corvid::coding
