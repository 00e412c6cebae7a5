// SPDX-License-Identifier: MIT
#include <corvid/internet/message2/message_id.h>

#include <corvid/internet/message2/errors.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>

namespace corvid::internet::message2 {

std::string make_message_id(std::string_view domain) {
    // A line break would end the header and start a field of its own.
    const auto control = [](char c) { return static_cast<unsigned char>(c) < ' ' || c == 0x7F; };
    if (domain.empty() || std::any_of(domain.begin(), domain.end(), control))
        throw generic("no domain for a Message-ID: \"" + std::string(domain) + "\"");
    std::random_device random;
    const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(
                            std::chrono::system_clock::now().time_since_epoch())
                            .count();
    char left[64];
    std::snprintf(left, sizeof left, "%llx.%08x%08x", static_cast<unsigned long long>(micros), random(), random());
    std::string id = "<";  // appended: g++ 12 at -O3 takes "<" + temporary for an overlapping copy
    id.append(left).append("@").append(domain).append(">");
    return id;
}

}  // namespace corvid::internet::message2
