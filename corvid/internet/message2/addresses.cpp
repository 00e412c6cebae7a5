// SPDX-License-Identifier: MIT
#include <corvid/internet/message2/addresses.h>

namespace corvid::internet::message2 {

namespace {

bool is_blank(char c) noexcept { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string trimmed(std::string_view text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && is_blank(text[begin])) ++begin;
    while (end > begin && is_blank(text[end - 1])) --end;
    return std::string(text.substr(begin, end - begin));
}

// One mailbox, comments already removed: the inside of its angle brackets
// less any source route, else the whole of it.
void add_mailbox(std::string_view mailbox, std::vector<std::string>& out) {
    std::string address;
    const std::size_t open = mailbox.find('<');
    if (open != std::string_view::npos) {
        std::string_view inside = mailbox.substr(open + 1);
        inside = inside.substr(0, inside.find('>'));
        // "<@relay.example:user@example.org>": the route is obsolete.
        if (!inside.empty() && inside.front() == '@' && inside.find(':') != std::string_view::npos)
            inside = inside.substr(inside.find(':') + 1);
        address = trimmed(inside);
    } else {
        address = trimmed(mailbox);
    }
    if (!address.empty()) out.push_back(address);
}

}  // namespace

std::vector<std::string> mailbox_addresses(std::string_view value) {
    std::vector<std::string> out;
    std::string current;  // the mailbox being read, without comments
    bool quoted = false;
    bool angle = false;
    int comment = 0;
    for (std::size_t i = 0; i < value.size(); ++i) {
        const char c = value[i];
        if (c == '\\' && (quoted || comment > 0) && i + 1 < value.size()) {
            if (quoted) current.append(value.substr(i, 2));
            ++i;
            continue;
        }
        if (comment > 0) {
            comment += c == '(' ? 1 : c == ')' ? -1 : 0;
            continue;
        }
        if (quoted) {
            current += c;
            quoted = c != '"';
            continue;
        }
        switch (c) {
            case '"': quoted = true; current += c; break;
            case '(': comment = 1; current += ' '; break;
            case '<': angle = true; current += c; break;
            case '>': angle = false; current += c; break;
            case ':':
                // A group's name ends here; inside angle brackets it is a
                // source route's end.
                if (angle)
                    current += c;
                else
                    current.clear();
                break;
            case ',':
            case ';':
                if (angle) {
                    current += c;
                    break;
                }
                add_mailbox(current, out);
                current.clear();
                break;
            default: current += c;
        }
    }
    add_mailbox(current, out);
    return out;
}

}  // namespace corvid::internet::message2
