// SPDX-License-Identifier: MIT
#ifndef CORVID_INTERNET_MESSAGE2_ADDRESSES_H
#define CORVID_INTERNET_MESSAGE2_ADDRESSES_H

#include <string>
#include <string_view>
#include <vector>

namespace corvid::internet::message2 {

// The addresses (local-part@domain, as written) of an address-list header
// value such as To, Cc or Bcc: display names, comments, group names and
// the source route of an angle address are dropped, a quoted local part is
// kept with its quotes. A folded value may be given as it stands.
std::vector<std::string> mailbox_addresses(std::string_view value);

}  // namespace corvid::internet::message2

#endif
