// SPDX-License-Identifier: MIT
#include <corvid/exception.h>

namespace corvid {

exception::exception(const std::string& message)
    : what_text("[" + message + "]"), message_text(message) {}

exception::~exception() = default;

const char* exception::what() const noexcept { return what_text.c_str(); }

const char* exception::message() const noexcept { return message_text.c_str(); }

const char* exception::name() const noexcept { return name_text.c_str(); }

void exception::append_name(const char* segment) {
    if (!name_text.empty()) name_text += '.';
    name_text += segment;
    what_text = name_text + "[" + message_text + "]";
}

}  // namespace corvid
