// SPDX-License-Identifier: MIT
#ifndef CORVID_INTERNET_MESSAGE2_UUE_CONVERSION_H
#define CORVID_INTERNET_MESSAGE2_UUE_CONVERSION_H

#include <corvid/internet/message2/entity.h>

#include <optional>
#include <string>
#include <vector>

namespace corvid::internet::message2 {

// The boundary given to a text entity that carried uuencoded files.
inline constexpr const char* uue_conversion_boundary = "=_uue_conversion_boundary";
// Where that one is taken, "=_uue_conversion_1_boundary", "_2_" and so on.
inline constexpr const char* uue_conversion_prefix = "=_uue_conversion_";

// Turns the uuencoded block that starts at `begin` (a line beginning with
// "begin", followed by mode and file name) into an attachment: a base64
// child appended to target.children, its media type chosen by the file
// name's extension and its name read in target's charset. Returns the line
// that ended the block (one beginning with "end"). Any flaw in the block
// (no file name, an empty line, a character outside the alphabet, no "end"
// line before `last`) declines it: nullopt, and target is left unchanged.
// Each line's bytes are cut to the count its length character gives, so an
// attachment never carries the filler of a short last group.
// Throws nothing but allocation errors.
// Lines is an iterator over lines as views or strings (the reader's two
// kinds of input).
template <typename Lines>
std::optional<Lines> uue_conversion(Lines begin, Lines last, entity& target);

// After the last block of a body: moves target's body and boundary into a
// new last child, so that the remaining text follows the attachments, and
// makes target multipart/mixed with uue_conversion_boundary, numbered
// while a line of the text begins with it, while it begins or is begun by
// the text's own boundary or one of `outer`, the boundaries of the entities
// that enclose target: a nested part whose delimiter lines begin with its
// parent's delimiter would end the parent where it begins.
void uue_restructure(entity& target, const std::vector<std::string>& outer);

}  // namespace corvid::internet::message2

#endif
