#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# corvid mime compose: exact output of a small message, and one clear error
# line for each kind of bad input. Python's reader checks the rest
# (tests/internet/message2/python_cross_check.py).
source "$(dirname "$0")/lib.sh"

printf 'hi\n' > "$scratch/plain.txt"
# The fields that --header gives are not added again.
"$CORVID" mime compose --subject Hello --to "Ann <ann@example.com>" --text "$scratch/plain.txt" \
  --header "From: me@example.com" --header "Date: Thu, 10 Dec 2026 06:14:44 +0100" \
  --header "Message-ID: <1@example.com>" --header "Mime-Version: 1.0" > "$scratch/out.eml" 2> "$scratch/err" ||
  fail "compose exited $?"
printf '%s\r\n' 'Content-Type: text/plain; charset="utf-8"' 'Content-Transfer-Encoding: 7bit' \
  'To: "Ann" <ann@example.com>' 'Subject: Hello' 'From: me@example.com' 'Date: Thu, 10 Dec 2026 06:14:44 +0100' \
  'Message-ID: <1@example.com>' 'Mime-Version: 1.0' '' 'hi' > "$scratch/expected.eml"
expect_same_file "$scratch/out.eml" "$scratch/expected.eml"
checks=$((checks + 1))
[ -s "$scratch/err" ] && fail "compose with a From field warned: $(cat "$scratch/err")"

# Otherwise they are made: a Date in local time, a Message-ID in the domain
# of --from; without a sender there is a warning, and still a message.
"$CORVID" mime compose --from "Me <me@example.org>" --text "$scratch/plain.txt" > "$scratch/made.eml" 2> "$scratch/err"
checks=$((checks + 1))
[ -s "$scratch/err" ] && fail "compose --from warned: $(cat "$scratch/err")"
expect_match '^From: "Me" <me@example.org>' grep '^From:' "$scratch/made.eml"
expect_match '^Date: [A-Z][a-z]{2}, [0-9]{2} [A-Z][a-z]{2} [0-9]{4} [0-9:]{8} [-+][0-9]{4}' grep '^Date:' "$scratch/made.eml"
expect_match '^Message-ID: <[0-9a-f]+\.[0-9a-f]{16}@example.org>' grep '^Message-ID:' "$scratch/made.eml"
expect_match '^MIME-Version: 1.0' grep '^MIME-Version:' "$scratch/made.eml"
"$CORVID" mime compose --text "$scratch/plain.txt" > "$scratch/anonymous.eml" 2> "$scratch/warning" ||
  fail "compose without --from failed"
expect_match 'warning: no --from' cat "$scratch/warning"
expect_match '^Message-ID: <[^@]+@localhost>' grep '^Message-ID:' "$scratch/anonymous.eml"

expect_match 'Subject: =\?utf-8\?[BQ]\?' "$CORVID" mime compose --subject "Grüße"
expect_match 'To: "=\?utf-8\?[BQ]\?[^"]*" <j@example.com>' "$CORVID" mime compose --to "Jörg <j@example.com>"
expect_match 'Content-Transfer-Encoding: base64' "$CORVID" mime compose --text "$scratch/plain.txt" --encoding base64
expect_match 'boundary="=_corvid_[0-9a-f]{24}"' "$CORVID" mime compose --attach "$scratch/plain.txt"
# Media types of attachments come from the system's table.
printf '%%PDF-1.4\n' > "$scratch/report.pdf"
printf 'data' > "$scratch/noextension"
expect_match 'Content-Type: application/pdf; name="report.pdf"' "$CORVID" mime compose --attach "$scratch/report.pdf"
expect_match 'Content-Type: application/octet-stream; name="noextension"' \
  "$CORVID" mime compose --attach "$scratch/noextension"

# expect_error command...: as expect_failure, with exit status 1.
expect_error() {
  expect_failure "$@"
  "$@" > /dev/null 2>&1
  local status=$?
  [ "$status" -eq 1 ] || fail "$*: exit status $status, expected 1"
}

printf 'caf\xc3\xa9\n' > "$scratch/utf8.txt"
printf 'bad \xff bytes\n' > "$scratch/invalid.txt"
printf '\xe4\xb8\xad\n' > "$scratch/cjk.txt"
expect_error "$CORVID" mime compose --text "$scratch/missing.txt"
expect_error "$CORVID" mime compose --attach "$scratch/missing.bin"
expect_error "$CORVID" mime compose --text "$scratch/plain.txt" --encoding uuencode
expect_error "$CORVID" mime compose --encoding uuencode
expect_error "$CORVID" mime compose --text "$scratch/invalid.txt"
expect_error "$CORVID" mime compose --text "$scratch/utf8.txt" --encoding 7bit
expect_error "$CORVID" mime compose --text "$scratch/cjk.txt" --charset iso-8859-1
expect_error "$CORVID" mime compose --text "$scratch/utf8.txt" --charset x-unknown
expect_error "$CORVID" mime compose --header "no colon here"
expect_error "$CORVID" mime compose --header ": empty name"
expect_error "$CORVID" mime compose --to "<>"
expect_error "$CORVID" mime compose --from "<>"
expect_error "$CORVID" mime compose --html "$scratch/missing.html"
expect_error "$CORVID" mime compose --inline "$scratch/missing.png"
# A line break in an address, typed or hidden in an encoded word, would start
# a header of its own; the error names the option on one line.
expect_error "$CORVID" mime compose --to $'a@b\r\nBcc: evil@example.com'
expect_error "$CORVID" mime compose --to '<=?utf-8?Q?a=0D=0ABcc:_evil@example.com?=>'
expect_error "$CORVID" mime compose --header $'X-A: one\nX-B: two'
# Addresses are ASCII on the wire; a non-ASCII one would come out as other
# bytes than were given, or not at all.
expect_error "$CORVID" mime compose --to "Jörg <jörg@example.com>"
expect_error "$CORVID" mime compose --to "<中@example.com>"
expect_error "$CORVID" mime compose --to "jörg@example.com"
expect_error "$CORVID" mime compose --subject $'bad \xff'
expect_failure "$CORVID" mime

finish
