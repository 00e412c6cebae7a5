// SPDX-License-Identifier: MIT
#ifndef CORVID_TESTS_SUPPORT_TREE_DIFFERENCE_H
#define CORVID_TESTS_SUPPORT_TREE_DIFFERENCE_H

// Compares two entity trees by what a reader of the message sees: the shape,
// and each entity's media type, charset, boundary and decoded data. Used to
// check that writing a tree and reading it back changes nothing.

#include <corvid/internet/message2/entity.h>

#include <string>

namespace corvid::test {

// A description of the first difference in pre-order, or "" when the trees
// agree. The charset counts only for text, the only media type the writer
// labels with one.
inline std::string tree_difference(const internet::message2::entity& a, const internet::message2::entity& b,
                                   const std::string& path = "root") {
    const auto& x = a.body;
    const auto& y = b.body;
    if (x.content_type != y.content_type) return path + ": media type " + x.content_type + " / " + y.content_type;
    if (x.content_type.starts_with("text/") && x.charset != y.charset)
        return path + ": charset " + x.charset + " / " + y.charset;
    if (a.boundary != b.boundary) return path + ": boundary " + a.boundary + " / " + b.boundary;
    if (x.data != y.data) return path + ": data";
    if (a.children.size() != b.children.size())
        return path + ": " + std::to_string(a.children.size()) + " / " + std::to_string(b.children.size()) +
               " children";
    for (std::size_t i = 0; i < a.children.size(); ++i) {
        std::string found = tree_difference(a.children[i], b.children[i], path + "." + std::to_string(i));
        if (!found.empty()) return found;
    }
    return {};
}

}  // namespace corvid::test

#endif
