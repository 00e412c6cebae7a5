// SPDX-License-Identifier: MIT
#include <corvid/exception.h>

#include <corvid/coding/errors.h>
#include <corvid/internet/address/errors.h>
#include <corvid/internet/environment/errors.h>
#include <corvid/internet/message2/errors.h>
#include <corvid/internet/smtp/errors.h>
#include <corvid/internet/transport/errors.h>
#include <corvid/internet/transport/tcp/base.h>
#include <corvid/internet/transport/udp/raw.h>
#include <corvid/unicode/errors.h>
#include <corvid/variant/variant.h>

#include <gtest/gtest.h>

#include <string>
#include <type_traits>

namespace {

namespace env = corvid::internet::environment;
namespace address = corvid::internet::address;
namespace transport = corvid::internet::transport;
using tcp = corvid::internet::transport::tcp::base;
using udp = corvid::internet::transport::udp::raw;
namespace smtp = corvid::internet::smtp;
namespace message2 = corvid::internet::message2;
namespace translate = corvid::coding::translate;
namespace unicode = corvid::unicode;

template <class E>
std::string name_of() {
    return E("m").name();
}

TEST(exception_test, root_has_empty_name_and_brackets_message) {
    corvid::exception e("Syntax error");
    EXPECT_STREQ(e.what(), "[Syntax error]");
    EXPECT_STREQ(e.name(), "");
    EXPECT_STREQ(e.message(), "Syntax error");
}

TEST(exception_test, empty_message_ends_in_empty_brackets) {
    EXPECT_STREQ(address::generic("").what(), "internet.address[]");
}

TEST(exception_test, copy_reports_the_same_texts) {
    env::subsystem_not_ready original("WSAStartup() failed");
    env::subsystem_not_ready copy(original);
    EXPECT_STREQ(copy.what(), original.what());
    EXPECT_STREQ(copy.message(), original.message());
    EXPECT_STREQ(copy.name(), original.name());
    EXPECT_STREQ(copy.what(), "internet.environment.subsystem_not_ready[WSAStartup() failed]");
}

TEST(exception_test, what_is_stable_across_calls) {
    smtp::permanent_failure e("550 no");
    std::string first = e.what();
    EXPECT_EQ(first, e.what());
    EXPECT_EQ(first, "smtp.permanent_failure[550 no]");
}

TEST(exception_test, every_class_carries_its_dotted_name) {
    EXPECT_EQ(name_of<message2::generic>(), "message2");
    EXPECT_EQ(name_of<message2::depth_limit>(), "message2");
    EXPECT_EQ(name_of<env::generic>(), "internet.environment");
    EXPECT_EQ(name_of<env::subsystem_not_ready>(), "internet.environment.subsystem_not_ready");
    EXPECT_EQ(name_of<env::subsystem_failed>(), "internet.environment.subsystem_failed");
    EXPECT_EQ(name_of<env::version_not_supported>(), "internet.environment.version_not_supported");
    EXPECT_EQ(name_of<address::generic>(), "internet.address");
    EXPECT_EQ(name_of<address::invalid_address_format>(), "internet.address.invalid_address_format");
    EXPECT_EQ(name_of<address::host_not_found>(), "internet.address.host_not_found");
    EXPECT_EQ(name_of<address::service_not_found>(), "internet.address.service_not_found");
    EXPECT_EQ(name_of<transport::generic>(), "internet.transport");
    EXPECT_EQ(name_of<transport::not_a_socket>(), "internet.transport.not_a_socket");
    EXPECT_EQ(name_of<transport::address_in_use>(), "internet.transport.address_in_use");
    EXPECT_EQ(name_of<transport::address_not_valid>(), "internet.transport.address_not_valid");
    EXPECT_EQ(name_of<udp::operation_failed>(), "internet.transport.operation_failed");
    EXPECT_EQ(name_of<udp::message_truncated>(), "internet.transport.operation_failed.message_truncated");
    EXPECT_EQ(name_of<udp::operation_timed_out>(), "internet.transport.operation_failed.operation_timed_out");
    EXPECT_EQ(name_of<udp::network_unreachable>(), "internet.transport.operation_failed.network_unreachable");
    EXPECT_EQ(name_of<udp::host_unreachable>(), "internet.transport.operation_failed.host_unreachable");
    EXPECT_EQ(name_of<udp::port_unreachable>(), "internet.transport.operation_failed.port_unreachable");
    EXPECT_EQ(name_of<tcp::connection_failed>(), "internet.transport.connection_failed");
    EXPECT_EQ(name_of<tcp::connection_closed>(), "internet.transport.connection_failed.connection_closed");
    EXPECT_EQ(name_of<tcp::connection_refused>(), "internet.transport.connection_failed.connection_refused");
    EXPECT_EQ(name_of<tcp::connection_reset>(), "internet.transport.connection_failed.connection_reset");
    EXPECT_EQ(name_of<tcp::connection_timed_out>(), "internet.transport.connection_failed.connection_timed_out");
    EXPECT_EQ(name_of<tcp::network_unreachable>(), "internet.transport.connection_failed.network_unreachable");
    EXPECT_EQ(name_of<tcp::host_unreachable>(), "internet.transport.connection_failed.host_unreachable");
    EXPECT_EQ(name_of<smtp::generic>(), "smtp");
    EXPECT_EQ(name_of<smtp::temporary_failure>(), "smtp.temporary_failure");
    EXPECT_EQ(name_of<smtp::permanent_failure>(), "smtp.permanent_failure");
    EXPECT_EQ(name_of<smtp::unreliable_delivery>(), "smtp.unreliable_delivery");
    EXPECT_EQ(name_of<translate::generic>(), "translate");
    EXPECT_EQ(name_of<translate::invalid_codeword>(), "translate.invalid_codeword");
    EXPECT_EQ(name_of<unicode::generic>(), "unicode");
    EXPECT_EQ(name_of<unicode::out_of_memory>(), "unicode.out_of_memory");
    EXPECT_EQ(name_of<unicode::invalid_codepage>(), "unicode.invalid_codepage");
    EXPECT_EQ(name_of<unicode::unmappable_character>(), "unicode.unmappable_character");
    EXPECT_EQ(name_of<corvid::variant::generic>(), "variant");
    EXPECT_EQ(name_of<corvid::variant::type_mismatch>(), "variant.type_mismatch");
}

TEST(exception_test, categories_catch_their_leaves_only) {
    static_assert(std::is_base_of_v<std::exception, corvid::exception>);
    static_assert(std::is_base_of_v<env::generic, env::subsystem_failed>);
    static_assert(std::is_base_of_v<address::generic, address::host_not_found>);
    static_assert(std::is_base_of_v<transport::generic, transport::not_a_socket>);
    static_assert(std::is_base_of_v<smtp::generic, smtp::temporary_failure>);
    static_assert(std::is_base_of_v<translate::generic, translate::invalid_codeword>);
    static_assert(std::is_base_of_v<unicode::generic, unicode::unmappable_character>);
    static_assert(std::is_base_of_v<corvid::variant::generic, corvid::variant::type_mismatch>);
    static_assert(std::is_base_of_v<corvid::exception, corvid::variant::generic>);
    // depth_limit hangs off the root, not off message2::generic.
    static_assert(!std::is_base_of_v<message2::generic, message2::depth_limit>);
    static_assert(std::is_base_of_v<corvid::exception, message2::depth_limit>);
    static_assert(!std::is_base_of_v<transport::generic, env::subsystem_not_ready>);

    // Every TCP connection failure is a connection_failed; socket misuse and
    // subsystem failures are not.
    static_assert(std::is_base_of_v<tcp::connection_failed, tcp::connection_closed>);
    static_assert(std::is_base_of_v<tcp::connection_failed, tcp::connection_refused>);
    static_assert(std::is_base_of_v<tcp::connection_failed, tcp::connection_reset>);
    static_assert(std::is_base_of_v<tcp::connection_failed, tcp::connection_timed_out>);
    static_assert(std::is_base_of_v<tcp::connection_failed, tcp::network_unreachable>);
    static_assert(std::is_base_of_v<tcp::connection_failed, tcp::host_unreachable>);
    static_assert(!std::is_base_of_v<tcp::connection_failed, transport::not_a_socket>);
    static_assert(!std::is_base_of_v<tcp::connection_failed, env::subsystem_failed>);
    static_assert(std::is_base_of_v<transport::generic, tcp::connection_failed>);
    // The UDP failures hang off operation_failed, a transport error.
    static_assert(std::is_base_of_v<udp::operation_failed, udp::message_truncated>);
    static_assert(std::is_base_of_v<udp::operation_failed, udp::operation_timed_out>);
    static_assert(std::is_base_of_v<udp::operation_failed, udp::network_unreachable>);
    static_assert(std::is_base_of_v<udp::operation_failed, udp::host_unreachable>);
    static_assert(std::is_base_of_v<udp::operation_failed, udp::port_unreachable>);
    static_assert(std::is_base_of_v<transport::generic, udp::operation_failed>);
    // The two unreachable pairs are unrelated classes.
    static_assert(!std::is_base_of_v<tcp::network_unreachable, udp::network_unreachable>);
    static_assert(!std::is_base_of_v<udp::host_unreachable, tcp::host_unreachable>);
    static_assert(!std::is_base_of_v<tcp::connection_failed, udp::operation_failed>);

    try {
        throw tcp::connection_refused("connect() failed");
    } catch (const tcp::connection_failed& e) {
        EXPECT_STREQ(e.what(), "internet.transport.connection_failed.connection_refused[connect() failed]");
    }
    try {
        throw unicode::invalid_codepage("");
    } catch (const std::exception& e) {
        EXPECT_STREQ(e.what(), "unicode.invalid_codepage[]");
    }
}

}  // namespace
