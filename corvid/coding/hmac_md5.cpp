// SPDX-License-Identifier: MIT
#include <corvid/coding/hmac_md5.h>

#include <corvid/coding/md5.h>

namespace corvid::coding {

std::string hmac_md5(std::string_view key, std::string_view message) {
    std::string block = key.size() > 64 ? md5(key).digest() : std::string(key);
    block.resize(64, '\0');

    std::string inner = block;
    for (char& byte : inner) byte = static_cast<char>(byte ^ 0x36);
    md5 inner_hash(inner);
    inner_hash.update(message);

    std::string outer = block;
    for (char& byte : outer) byte = static_cast<char>(byte ^ 0x5C);
    md5 outer_hash(outer);
    outer_hash.update(inner_hash.digest());
    return outer_hash.digest();
}

}  // namespace corvid::coding
