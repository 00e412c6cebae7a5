// SPDX-License-Identifier: MIT
#include <corvid/coding/hmac_md5.h>

#include <gtest/gtest.h>

#include <corvid/coding/hex.h>

#include <string>

namespace cc = corvid::coding;

namespace {

TEST(hmac_md5_test, rfc2202_vectors) {
    struct vector {
        std::string key, data;
        const char* digest;
    };
    const vector vectors[] = {
        {std::string(16, '\x0b'), "Hi There", "9294727a3638bb1c13f48ef8158bfc9d"},
        {"Jefe", "what do ya want for nothing?", "750c783e6ab0b503eaa86e310a5db738"},
        {std::string(16, '\xaa'), std::string(50, '\xdd'), "56be34521d144c88dbb8c733f0e8b3f6"},
        {cc::hex_decode("0102030405060708090a0b0c0d0e0f10111213141516171819", true), std::string(50, '\xcd'),
         "697eaf0aca3a3aea3a75164746ffaa79"},
        {std::string(16, '\x0c'), "Test With Truncation", "56461ef2342edc00f9bab995690efd4c"},
        {std::string(80, '\xaa'), "Test Using Larger Than Block-Size Key - Hash Key First",
         "6b1ab7fe4bd7bf8f0b62e6ce61b9d0cd"},
        {std::string(80, '\xaa'), "Test Using Larger Than Block-Size Key and Larger Than One Block-Size Data",
         "6f630fad67cda0ee1fb1f562db3aa53e"},
    };
    for (const auto& v : vectors) EXPECT_EQ(cc::hex_encode(cc::hmac_md5(v.key, v.data)), v.digest) << v.data;
}

TEST(hmac_md5_test, cram_md5_example) {
    // The exchange of RFC 2195: the response is the user, a space and this.
    EXPECT_EQ(cc::hex_encode(cc::hmac_md5("tanstaaftanstaaf", "<1896.697170952@postoffice.reston.mci.net>")),
              "b913a602c7eda7a495b4e6e7334d3890");
}

}  // namespace
