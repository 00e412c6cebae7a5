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
// Thrown by an accept_handler operation to answer the command with a reply
// of its own choosing: the message is the whole reply line, a 4xx or 5xx
// code first ("452 Too many recipients"). The session goes on.
CORVID_EXCEPTION(refused, generic, "refused");

}  // namespace corvid::internet::smtp

#endif
