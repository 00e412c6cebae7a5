// SPDX-License-Identifier: MIT
#include <corvid/map_text.h>

#include <corvid/exception.h>
#include <corvid/tokens.h>

namespace corvid {

std::string map_to_text(const std::map<std::string, std::string>& map) {
    std::string text;
    for (const auto& [key, value] : map) {
        // Refuse rather than write a text that text_to_map would misread.
        if (key.empty()) throw exception("map_to_text() empty key");
        if (key.find_first_of("[]|") != key.npos)
            throw exception("map_to_text() key \"" + key + "\" contains one of [ ] |");
        if (value.find_first_of("[]|") != value.npos)
            throw exception("map_to_text() value of key \"" + key + "\" contains one of [ ] |");
        text += '[';
        text += key;
        text += '|';
        text += value;
        text += ']';
    }
    return text;
}

std::map<std::string, std::string> text_to_map(std::string_view text) {
    std::map<std::string, std::string> map;
    for (const std::string& piece : tokens(text, "[]")) {
        tokens parts(piece, "|");
        if (parts.size() == 2)
            map.emplace(std::move(parts[0]), std::move(parts[1]));
        else if (parts.size() == 1)
            map.emplace(std::move(parts[0]), std::string());
    }
    return map;
}

}  // namespace corvid
