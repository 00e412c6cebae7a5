// SPDX-License-Identifier: MIT
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
// The connection was lost, or the reply did not come in time, after the
// final "." went out: the server may have taken the message, so a caller
// that sends it again may deliver it twice. A temporary failure, since
// trying later is still the right thing where duplicates are tolerable.
CORVID_EXCEPTION(outcome_unknown, temporary_failure, "outcome_unknown");
// The server broke the protocol: a malformed reply line, a multi-line reply
// whose codes differ, or a code that the step cannot take (a 354 to ".",
// a 199 to MAIL). Never success, whatever its first digit.
CORVID_EXCEPTION(protocol_error, generic, "protocol_error");
// A login that the server refused, or that cannot be tried on this
// connection; the message says which.
CORVID_EXCEPTION(login_failed, generic, "login_failed");
// Thrown by an accept_handler operation to answer the command with a reply
// of its own choosing: the message is the whole reply line, a 4xx or 5xx
// code first ("452 Too many recipients"). The session goes on.
CORVID_EXCEPTION(refused, generic, "refused");

}  // namespace corvid::internet::smtp

#endif
