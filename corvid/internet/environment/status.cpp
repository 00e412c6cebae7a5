// SPDX-License-Identifier: MIT
#include <corvid/internet/environment/status.h>

#include <corvid/internet/environment/errors.h>

namespace corvid::internet::environment::detail {

using platform::status_outcome;

void raise(const platform::status_verdict& verdict) {
    switch (verdict.outcome) {
        case status_outcome::subsystem_not_ready: throw subsystem_not_ready(verdict.message);
        case status_outcome::subsystem_failed: throw subsystem_failed(verdict.message);
        case status_outcome::version_not_supported: throw version_not_supported(verdict.message);
        default: throw generic(verdict.message);
    }
}

void check(platform::status_call c, const std::error_code& ec) {
    const platform::status_verdict verdict = platform::judge(c, ec);
    if (verdict.outcome != status_outcome::ignored) raise(verdict);
}

}  // namespace corvid::internet::environment::detail
