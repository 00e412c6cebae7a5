#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Endpoints from host and service text, every one once, IPv6 in brackets;
# names are only local ones, and the reserved .invalid domain fails without
# a query.
source "$(dirname "$0")/lib.sh"

expect_output "127.0.0.1:25" "$CORVID" resolve 127.0.0.1 25
expect_output "127.0.0.1:25" "$CORVID" resolve -4 localhost smtp
expect_output "[::1]:25" "$CORVID" resolve ::1 smtp
expect_output "[2001:db8::7]:587" "$CORVID" resolve -6 2001:DB8:0::7 587
expect_failure "$CORVID" resolve -6 127.0.0.1 25
expect_failure "$CORVID" resolve -4 ::1 25
expect_failure "$CORVID" resolve -4 -6 ::1 25
expect_output "127.0.0.1:65535" "$CORVID" resolve 127.0.0.1 65535
expect_failure "$CORVID" resolve mail.example.invalid 25
expect_failure "$CORVID" resolve 127.0.0.1 no-such-service
expect_failure "$CORVID" resolve 127.0.0.1 65536
expect_failure "$CORVID" resolve 127.0.0.1
expect_failure "$CORVID" resolve 127.0.0.1 ''
expect_failure "$CORVID" resolve '' 25

# Errors name what failed and keep the library's text.
expect_match '^corvid resolve: cannot resolve "mail\.example\.invalid" port "25": internet\.address\.[a-z_]+\[.+\]$' \
  bash -c '"$0" resolve mail.example.invalid 25 2>&1; true' "$CORVID"

finish
