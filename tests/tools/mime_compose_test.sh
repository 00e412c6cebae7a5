#!/usr/bin/env bash
# corvid mime compose: exact output of a small message, and one clear error
# line for each kind of bad input. Python's reader checks the rest
# (tests/internet/message2/python_cross_check.py).
source "$(dirname "$0")/lib.sh"

printf 'hi\n' > "$scratch/plain.txt"
"$CORVID" mime compose --subject Hello --to "Ann <ann@example.com>" --text "$scratch/plain.txt" \
  --header "From: me@example.com" > "$scratch/out.eml" || fail "compose exited $?"
printf '%s\r\n' 'Content-Type: text/plain; charset="utf-8"' 'Content-Transfer-Encoding: 7bit' \
  'To: "Ann" <ann@example.com>' 'Subject: Hello' 'From: me@example.com' '' 'hi' > "$scratch/expected.eml"
expect_same_file "$scratch/out.eml" "$scratch/expected.eml"

expect_match 'Subject: =\?utf-8\?[BQ]\?' "$CORVID" mime compose --subject "Grüße"
expect_match 'To: "=\?utf-8\?[BQ]\?[^"]*" <j@example.com>' "$CORVID" mime compose --to "Jörg <j@example.com>"
expect_match 'Content-Transfer-Encoding: base64' "$CORVID" mime compose --text "$scratch/plain.txt" --encoding base64
expect_match 'boundary="=_corvid_[0-9a-f]{24}"' "$CORVID" mime compose --attach "$scratch/plain.txt"

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
