// SPDX-License-Identifier: MIT
#ifndef CORVID_TESTS_SUPPORT_THROWS_H
#define CORVID_TESTS_SUPPORT_THROWS_H

#include <string>

namespace corvid::test {

// The what() text of the E that call throws, or "nothing thrown". Any other
// exception leaves, failing the test that called it.
template <typename E, typename Call>
std::string what_of(Call&& call) {
    try {
        call();
    } catch (const E& e) {
        return e.what();
    }
    return "nothing thrown";
}

}  // namespace corvid::test

#endif
