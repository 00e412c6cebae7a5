// SPDX-License-Identifier: MIT
#include <corvid/internet/message2/header_type/addresses_value_type.h>

#include <corvid/text.h>
#include <corvid/unicode/convert.h>

namespace corvid::internet::message2::header_type {

addresses_value_type::addresses_value_type(std::string charset) : generic_value_type(std::move(charset)) {}

std::string addresses_value_type::render() const {
    std::string raw;
    for (const auto& entry : addresses) {
        if (!raw.empty()) raw += ", ";
        if (!entry.display_name.empty()) {
            raw += '"';
            raw += encode_quoted(entry.display_name);
            raw += "\" ";
        }
        raw += '<';
        raw += entry.address;
        raw += '>';
    }
    return raw;
}

void addresses_value_type::parse(const std::string& raw) {
    addresses.clear();
    for (const std::string& token : tokenize(raw, ";,", true)) {
        mailbox entry;
        if (ends_with(token, ">") || ends_with(token, ")")) {
            // "name" <address> puts the address last, address (name) first.
            const bool angle = token.back() == '>';
            const std::vector<std::string> pieces = tokenize(token, angle ? "<>" : "()", false);
            if (pieces.empty()) continue;
            const std::string& address = angle ? pieces.back() : pieces.front();
            entry.address = unicode::to_narrow(decode_text(address), unicode::no_codepage);
            entry.display_name = decode_text(angle ? pieces.front() : pieces.back());
        } else {
            std::vector<std::string> pieces = tokenize(token, " ", false);
            if (pieces.empty()) continue;
            entry.address = std::move(pieces.front());
        }
        if (!entry.address.empty() || !entry.display_name.empty()) addresses.push_back(std::move(entry));
    }
}

void addresses_value_type::add_address(std::string address, std::u16string display_name) {
    addresses.push_back({std::move(address), std::move(display_name)});
}

void addresses_value_type::add_address_from(std::string address, const std::string& display_name, int codepage) {
    add_address(std::move(address), unicode::to_wide(display_name, codepage));
}

}  // namespace corvid::internet::message2::header_type
