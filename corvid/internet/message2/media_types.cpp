// SPDX-License-Identifier: MIT
#include <corvid/internet/message2/media_types.h>

#include <corvid/internet/message2/errors.h>
#include <corvid/platform/file.h>
#include <corvid/text.h>

#include <algorithm>
#include <system_error>

namespace corvid::internet::message2 {

namespace {

// The words of a line, cut at blanks and tabs.
template <typename Each>
void for_each_word(std::string_view line, Each each) {
    for (std::size_t at = line.find_first_not_of(" \t"); at != std::string_view::npos;) {
        const std::size_t end = std::min(line.find_first_of(" \t", at), line.size());
        each(line.substr(at, end - at));
        at = line.find_first_not_of(" \t", end);
    }
}

}  // namespace

media_type_table::media_type_table(std::string_view text) {
    while (!text.empty()) {
        const std::size_t end = std::min(text.find_first_of("\r\n"), text.size());
        std::string_view line = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        line = line.substr(0, line.find('#'));
        std::string type;
        for_each_word(line, [&](std::string_view word) {
            if (type.empty())
                type = to_lower(std::string(word));
            else
                types.try_emplace(to_lower(std::string(word)), type);
        });
    }
}

media_type_table media_type_table::load(const std::string& path) {
    std::string text;
    std::error_code ec;
    platform::read_file(path, text, ec);
    if (ec) throw generic("unable to read media types from " + path + ": " + ec.message());
    return media_type_table(text);
}

const media_type_table& media_type_table::system() {
    static const media_type_table table = [] {
        try {
            return load("/etc/mime.types");
        } catch (const generic&) {
            // Without the file every attachment is application/octet-stream,
            // which is still a correct label.
            return media_type_table();
        }
    }();
    return table;
}

std::string media_type_table::type_of(std::string_view file_name) const {
    const std::size_t dot = file_name.rfind('.');
    if (dot == std::string_view::npos || dot == 0) return std::string(unknown);
    const auto found = types.find(to_lower(std::string(file_name.substr(dot + 1))));
    return found == types.end() ? std::string(unknown) : found->second;
}

}  // namespace corvid::internet::message2
