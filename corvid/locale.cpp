// SPDX-License-Identifier: MIT
#include <corvid/locale.h>

#include <locale>
#include <stdexcept>
#include <corvid/exception.h>

namespace corvid {

void set_global_locale(const std::string& name) {
    std::locale named;
    try {
        named = std::locale(name);
    } catch (const std::runtime_error&) {
        throw exception("set_global_locale() unknown locale \"" + name + "\"");
    }
    std::locale::global(named);
}

}  // namespace corvid
