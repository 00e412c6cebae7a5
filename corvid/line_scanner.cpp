// SPDX-License-Identifier: MIT
#include <corvid/line_scanner.h>

namespace corvid {

std::size_t line_scanner::pair_rest(const char* bytes, std::size_t size) noexcept {
    if (pending == 0 || size == 0) return 0;
    char first = pending;
    pending = 0;
    return is_end(bytes[0]) && bytes[0] != first ? 1 : 0;
}

}  // namespace corvid
