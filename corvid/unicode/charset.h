// SPDX-License-Identifier: MIT
#ifndef CORVID_UNICODE_CHARSET_H
#define CORVID_UNICODE_CHARSET_H

#include <map>
#include <string>

namespace corvid::unicode {

// Maps MIME charset names onto code page numbers. Nothing here throws for
// an unknown or malformed name: it resolves to no_codepage (-1), so that text
// in a charset we do not know still passes through one byte per character.

// The fixed names, already normalised (lower case, without "-" and "_").
// Built once before main() runs and never changed afterwards, so every
// thread may read it without locking.
const std::map<std::string, int, std::less<>>& charset_table();

// The code page of a charset name. The name is normalised (ASCII letters
// lower-cased, every "-" and "_" removed; nothing else changes) and looked up
// in charset_table(). A name the table lacks may still carry its number:
// "iso8859", "latin" and "csisolatin" followed by N give 28590 + N, and
// "windows", "dos", "ibm" and "cp" followed by N give N. N is read as atoi()
// reads it (leading white space, optional sign, digits up to the first
// non-digit, 0 without digits, saturating at the 32-bit limits). Anything
// else gives -1.
int codepage_from_charset(const std::string& name);

}  // namespace corvid::unicode

#endif
