// SPDX-License-Identifier: MIT
#ifndef CORVID_CODING_HMAC_MD5_H
#define CORVID_CODING_HMAC_MD5_H

#include <string>
#include <string_view>

namespace corvid::coding {

// HMAC-MD5 (RFC 2104) of message under key: 16 raw bytes. A key longer than
// the 64-byte block is replaced by its MD5 digest first, as RFC 2104 says;
// CRAM-MD5 responses are the hexadecimal form of this value.
std::string hmac_md5(std::string_view key, std::string_view message);

}  // namespace corvid::coding

#endif
