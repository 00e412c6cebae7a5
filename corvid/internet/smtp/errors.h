#ifndef CORVID_INTERNET_SMTP_ERRORS_H
#define CORVID_INTERNET_SMTP_ERRORS_H

#include <corvid/exception.h>

namespace corvid::internet::smtp {

// SMTP failures: a reply outside the expected class, or a delivery whose
// outcome cannot be trusted.
CORVID_EXCEPTION(generic, corvid::exception, "smtp");
CORVID_EXCEPTION(temporary_failure, generic, "temporary_failure");
CORVID_EXCEPTION(permanent_failure, generic, "permanent_failure");
CORVID_EXCEPTION(unreliable_delivery, generic, "unreliable_delivery");

}  // namespace corvid::internet::smtp

#endif
