// SPDX-License-Identifier: MIT
#ifndef CORVID_UNICODE_ANSI_CODEPAGE_H
#define CORVID_UNICODE_ANSI_CODEPAGE_H

#include <string>

namespace corvid::unicode {

// Code page 0 stands for the system's ANSI code page. On Linux that is the
// charset of the user's locale as the environment names it: the first
// non-empty one of LC_ALL, LC_CTYPE and LANG. Reading it never calls
// setlocale(), so the process's global locale stays as it is.

// The code page that 0 stands for; never 0 itself. The environment is read
// on first use and remembered for the rest of the process, unless a code
// page has been pinned.
int ansi_codepage();

// The code page of a locale name such as "de_DE.ISO-8859-15@euro". "C",
// "POSIX", the empty name and every UTF-8 locale give 65001. Otherwise an
// installed locale answers for itself; for any other name the codeset after
// "." (without an "@modifier") goes through codepage_from_charset(), and a
// name without a codeset gives 65001.
int codepage_from_locale(const std::string& locale_name);

// Makes code page 0 mean codepage for the whole process, whatever the
// environment says; meant for tests and for programs that know better.
// Throws invalid_codepage for 0, which would stand for itself.
void pin_ansi_codepage(int codepage);

// Forgets the pinned code page and the remembered environment: the next use
// of code page 0 reads the environment again.
void unpin_ansi_codepage() noexcept;

}  // namespace corvid::unicode

#endif
