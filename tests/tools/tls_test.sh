#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# TLS as a user meets it: corvid send with STARTTLS and implicit TLS to
# corvid smtp serve and to aiosmtpd (which requires STARTTLS), swaks over
# TLS to our server, certificate checks that fail with a clear line, and
# logins that stay inside TLS. Certificates are made fresh for the run.
source "$(dirname "$0")/lib.sh"
python=${CORVID_PYTHON:-python3}
sink="$(dirname "$0")/smtp_sink.py"
command -v swaks > /dev/null || { echo "FAIL: swaks is missing (scripts/deps --test installs it)" >&2; exit 1; }
servers=()
trap 'kill "${servers[@]}" 2> /dev/null; rm -rf "$scratch"' EXIT

bash "$(dirname "$0")/../support/make_test_certs.sh" "$scratch" || exit 1
cert=$scratch/server.pem key=$scratch/server.key ca=$scratch/ca.pem
printf 'Subject: over TLS\r\n\r\nsecret text\r\n' > "$scratch/message.eml"

# serve NAME OPTION...: corvid smtp serve on a free port of 127.0.0.1,
# delivering into $scratch/NAME/Maildir; sets $port.
serve() {
  local name=$1; shift
  mkdir -p "$scratch/$name"
  (cd "$scratch/$name" && exec timeout --foreground 120 "$CORVID" smtp serve --listen 127.0.0.1:0 --hostname mx.test "$@" \
    > "$scratch/$name.out" 2> "$scratch/$name.log") &
  servers+=($!)
  for _ in $(seq 100); do [ -s "$scratch/$name.out" ] && break; sleep 0.1; done
  port=$(sed -n 's/^listening on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$scratch/$name.out")
  [ -n "$port" ] || { echo "FAIL: $name did not start: $(cat "$scratch/$name.log")" >&2; exit 1; }
}

send() { timeout 60 "$CORVID" send --to bob@example.com "$@" --file "$scratch/message.eml"; }

# expect_error STATUS REGEX command...: that exit status with one stderr
# line matching REGEX.
expect_error() {
  local expected=$1 regex=$2; shift 2
  checks=$((checks + 1))
  "$@" > /dev/null 2> "$scratch/err"
  local status=$?
  [ "$status" -eq "$expected" ] && [ "$(wc -l < "$scratch/err")" -eq 1 ] && grep -Eq "$regex" "$scratch/err" ||
    fail "$*: status $status, stderr '$(cat "$scratch/err")', expected $expected and one line matching '$regex'"
}

# delivered NAME TRACE-WORD: NAME's Maildir got one message more, marked by
# our server as received over TLS.
delivered() {
  checks=$((checks + 1))
  local newest
  newest=$(ls -t "$scratch/$1/Maildir/new/" 2> /dev/null | head -n 1)
  [ -n "$newest" ] && head -n 1 "$scratch/$1/Maildir/new/$newest" | grep -q ' with ESMTPS; ' &&
    grep -q 'secret text' "$scratch/$1/Maildir/new/$newest" || fail "no TLS delivery in $1: $(cat "$scratch/$1.log")"
  rm -f "$scratch/$1/Maildir/new/"*
}

# STARTTLS, checked against the host name and against the address.
serve starttls --tls-cert "$cert" --tls-key "$key"
for name in 127.0.0.1 localhost; do
  send --server "$name" --port "$port" --ca-file "$ca" --trace 2> "$scratch/trace" ||
    fail "send to $name exited $?: $(cat "$scratch/trace")"
  delivered starttls
  checks=$((checks + 1))
  grep -q '^C: STARTTLS$' "$scratch/trace" && grep -Eq '^-- TLS: TLSv1\.[23] ' "$scratch/trace" ||
    fail "trace without STARTTLS: $(cat "$scratch/trace")"
done
# The certificate's CA unknown: a clear failure, unless verification is off.
expect_error 69 '^corvid send: TLS with 127\.0\.0\.1:[0-9]+ failed: internet\.transport\.connection_failed\.tls_failed\[.*certificate verify failed' \
  send --server 127.0.0.1 --port "$port"
send --server 127.0.0.1 --port "$port" --insecure || fail "--insecure exited $?"
delivered starttls
# swaks, a client of its own, over STARTTLS to our server.
checks=$((checks + 1))
timeout 60 swaks --server 127.0.0.1 --port "$port" --tls --from ann@example.com --to bob@example.com \
  --body 'secret text' > "$scratch/swaks.out" 2>&1 || fail "swaks --tls: $(cat "$scratch/swaks.out")"
delivered starttls

# Implicit TLS from the first byte.
serve implicit --tls-cert "$cert" --tls-key "$key" --tls-implicit
send --server localhost --port "$port" --tls implicit --ca-file "$ca" || fail "implicit TLS exited $?"
delivered implicit
expect_error 75 '^corvid send: greeting failed: ' send --server 127.0.0.1 --port "$port" --tls none --timeout 2

# A server without TLS: sent in clear unless TLS is required.
serve plain
send --server 127.0.0.1 --port "$port" || fail "plain send exited $?"
expect_error 69 'failed: internet\.transport\.connection_failed\.tls_failed\[the server does not offer STARTTLS\]$' \
  send --server 127.0.0.1 --port "$port" --require-tls

# aiosmtpd requiring STARTTLS, with a login allowed only inside TLS.
mkdir -p "$scratch/aiosmtpd"
printf 'se cret\n' > "$scratch/password"
timeout 120 "$python" "$sink" "$scratch/aiosmtpd" --tls "$cert,$key" --login "ann:se cret" \
  > "$scratch/aiosmtpd.port" 2> "$scratch/aiosmtpd.log" &
servers+=($!)
for _ in $(seq 100); do [ -s "$scratch/aiosmtpd.port" ] && break; sleep 0.1; done
port=$(cat "$scratch/aiosmtpd.port")
send --server localhost --port "$port" --ca-file "$ca" --user ann --password-file "$scratch/password" ||
  fail "send to aiosmtpd exited $?: $(cat "$scratch/aiosmtpd.log")"
checks=$((checks + 1))
grep -q 'secret text' "$scratch/aiosmtpd/1.eml" 2> /dev/null || fail "aiosmtpd got nothing: $(cat "$scratch/aiosmtpd.log")"
expect_error 69 '^corvid send: MAIL FROM refused: smtp\.permanent_failure\[530 Must issue a STARTTLS command first\]$' \
  send --server localhost --port "$port" --tls none

finish
