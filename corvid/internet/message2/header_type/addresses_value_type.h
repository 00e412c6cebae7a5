// SPDX-License-Identifier: MIT
#ifndef CORVID_INTERNET_MESSAGE2_HEADER_TYPE_ADDRESSES_VALUE_TYPE_H
#define CORVID_INTERNET_MESSAGE2_HEADER_TYPE_ADDRESSES_VALUE_TYPE_H

#include <corvid/internet/message2/header_type/generic_value_type.h>

#include <string>
#include <vector>

namespace corvid::internet::message2::header_type {

// One mailbox of an address list: the address stays narrow (ASCII on the
// wire), the display name is wide and may be empty.
struct mailbox {
    std::string address;
    std::u16string display_name;
};

// A list of mailboxes separated by commas or semicolons, as in To, Cc and
// From; each written as "display name" <address> or <address>.
// Throws only the conversion errors of corvid::unicode.
class addresses_value_type : public generic_value_type {
public:
    std::vector<mailbox> addresses;

    addresses_value_type() = default;
    explicit addresses_value_type(std::string charset);

    std::string render() const override;
    void parse(const std::string& raw) override;

    void add_address(std::string address, std::u16string display_name);
    void add_address_from(std::string address, const std::string& display_name, int codepage);
};

}  // namespace corvid::internet::message2::header_type

#endif
