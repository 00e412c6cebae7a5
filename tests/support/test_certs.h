// SPDX-License-Identifier: MIT
#ifndef CORVID_TESTS_SUPPORT_TEST_CERTS_H
#define CORVID_TESTS_SUPPORT_TEST_CERTS_H

// The folder of throwaway TLS certificates that make_test_certs.sh makes,
// once per test program: ca.pem, server.pem and server.key (for 127.0.0.1
// and localhost), other_ca.pem. Throws when the openssl command fails.

#include <cstdlib>
#include <stdexcept>
#include <string>

namespace corvid::test {

inline const std::string& test_certs() {
    static const std::string folder = [] {
        char pattern[] = "/tmp/corvid_certs.XXXXXX";
        if (::mkdtemp(pattern) == nullptr) throw std::runtime_error("cannot make a folder for certificates");
        const std::string made = pattern;
        const std::string command = "bash " CORVID_SOURCE_DIR "/tests/support/make_test_certs.sh " + made;
        if (std::system(command.c_str()) != 0) throw std::runtime_error("cannot make test certificates");
        return made;
    }();
    return folder;
}

}  // namespace corvid::test

#endif
