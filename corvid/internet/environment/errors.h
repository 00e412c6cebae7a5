// SPDX-License-Identifier: MIT
#ifndef CORVID_INTERNET_ENVIRONMENT_ERRORS_H
#define CORVID_INTERNET_ENVIRONMENT_ERRORS_H

#include <corvid/exception.h>

namespace corvid::internet::environment {

// Failures of the network subsystem itself, raised by start-up and by every
// socket or resolver call made while the subsystem is not usable.
CORVID_EXCEPTION(generic, corvid::exception, "internet.environment");
CORVID_EXCEPTION(subsystem_not_ready, generic, "subsystem_not_ready");
CORVID_EXCEPTION(subsystem_failed, generic, "subsystem_failed");
CORVID_EXCEPTION(version_not_supported, generic, "version_not_supported");

}  // namespace corvid::internet::environment

#endif
