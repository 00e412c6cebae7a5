#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The tool's frame: version, help, dates, and one clear error line.
source "$(dirname "$0")/lib.sh"

expect_output "Thu, 01 Jan 1970 00:00:00 -0000" "$CORVID" date 0
expect_output "Sun, 09 Sep 2001 01:46:40 -0000" "$CORVID" date 1000000000
expect_match '^corvid [0-9]+\.[0-9]+\.[0-9]+$' "$CORVID" --version
expect_match 'Subcommands' "$CORVID" --help
expect_match '^[A-Z][a-z]{2}, [0-9]{2} [A-Z][a-z]{2} [0-9]{4} [0-9:]{8} -0000$' "$CORVID" date
expect_failure "$CORVID" date not-a-number
expect_failure "$CORVID" no-such-command
expect_failure "$CORVID" date 999999999999999
expect_failure "$CORVID" date 67768036191676799
expect_output 'corvid date: cannot show 67768036191676799 as a date: rfc822_date() time outside the years 1000 to 9999' \
  bash -c '"$0" date 67768036191676799 2>&1; true' "$CORVID"
expect_output "corvid mime tree: cannot read the message in /no/such.eml: message2[unable to open file for input: /no/such.eml]" \
  bash -c '"$0" mime tree /no/such.eml 2>&1; true' "$CORVID"
expect_output "corvid encode: cannot open /no/such.bin: No such file or directory" \
  bash -c '"$0" encode hex /no/such.bin 2>&1; true' "$CORVID"

finish
