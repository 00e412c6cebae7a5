// SPDX-License-Identifier: MIT
// An application that knows the library only through its installed package.
#include <corvid/exception.h>
#include <corvid/rfc822_date.h>

#include <cstdio>
#include <cstring>

int main() {
    if (std::strcmp(corvid::rfc822_date(0).c_str(), "Thu, 01 Jan 1970 00:00:00 -0000") != 0) return 1;
    try {
        throw corvid::exception("installed");
    } catch (const std::exception& e) {
        if (std::strcmp(e.what(), "[installed]") != 0) return 2;
    }
    std::puts("consumer ok");
    return 0;
}
