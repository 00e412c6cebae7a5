#!/usr/bin/env bash
# corvid send against a real SMTP server (Python's aiosmtpd, tests/tools/
# smtp_sink.py): what arrives is what compose wrote, byte for byte, logins
# work without showing their secrets, and every failure is one line.
source "$(dirname "$0")/lib.sh"
python=${CORVID_PYTHON:-python3}
sink="$(dirname "$0")/smtp_sink.py"
"$python" -c 'import aiosmtpd' || { echo "FAIL: aiosmtpd is missing (scripts/deps --test installs it)" >&2; exit 1; }

servers=()
trap 'kill "${servers[@]}" 2> /dev/null; rm -rf "$scratch"' EXIT

# start_server NAME SINK-OPTIONS...: a server storing into $scratch/NAME;
# sets $port.
start_server() {
  local name=$1; shift
  mkdir -p "$scratch/$name"
  timeout 150 "$python" "$sink" "$scratch/$name" "$@" > "$scratch/$name.port" 2> "$scratch/$name.log" &
  servers+=($!)
  for _ in $(seq 100); do [ -s "$scratch/$name.port" ] && break; sleep 0.1; done
  port=$(cat "$scratch/$name.port")
  [ -n "$port" ] || { echo "FAIL: $name did not start: $(cat "$scratch/$name.log")" >&2; exit 1; }
}

send() { timeout 60 "$CORVID" send --server 127.0.0.1 "$@"; }

# expect_error REGEX command...: exit status 1, nothing on stdout and one
# line on stderr that matches REGEX.
expect_error() {
  local regex=$1; shift
  checks=$((checks + 1))
  "$@" > "$scratch/out" 2> "$scratch/err"
  local status=$?
  local lines
  lines=$(wc -l < "$scratch/err")
  [ "$status" -eq 1 ] && [ ! -s "$scratch/out" ] && [ "$lines" -eq 1 ] && grep -Eq "$regex" "$scratch/err" ||
    fail "$*: status $status, stderr '$(cat "$scratch/err")', expected one line matching '$regex'"
}

# expect_envelope FOLDER N SENDER RECIPIENT: message N arrived with that
# envelope and exactly the bytes of $scratch/message.eml.
expect_envelope() {
  checks=$((checks + 1))
  [ "$(cat "$1/$2.from" 2> /dev/null)" = "$3" ] && [ "$(cat "$1/$2.rcpt" 2> /dev/null)" = "$4" ] ||
    fail "message $2 in $1: envelope '$(cat "$1/$2.from")' -> '$(cat "$1/$2.rcpt")', expected '$3' -> '$4'"
  expect_same_file "$1/$2.eml" "$scratch/message.eml"
}

# Lines the transport must not take for its own: dot-stuffing has to be
# undone exactly, and an empty line must survive.
printf 'Hello,\n.\n..\n.x\n\nend.\n' > "$scratch/text.txt"
head -c 70000 /dev/urandom > "$scratch/blob.bin"
"$CORVID" mime compose --header "From: ann@example.com" --to "Bob <bob@example.com>" --subject "Dots" \
  --text "$scratch/text.txt" --attach "$scratch/blob.bin" > "$scratch/message.eml" || fail "compose exited $?"
tr -d '\r' < "$scratch/message.eml" > "$scratch/message-lf.eml"

start_server plain
plain=$port
expect_output "" send --port "$plain" --to bob@example.com "$scratch/message.eml"
expect_envelope "$scratch/plain" 1 "<>" bob@example.com
expect_output "" send --port "$plain" --to bob@example.com --from ann@example.com - < "$scratch/message-lf.eml"
expect_envelope "$scratch/plain" 2 ann@example.com bob@example.com

# An independent reader finds the text and the attachment's bytes.
checks=$((checks + 1))
"$python" - "$scratch/plain/1.eml" "$scratch/text.txt" "$scratch/blob.bin" << 'EOF' || fail "Python's email package read something else"
import email, sys
message = email.message_from_bytes(open(sys.argv[1], "rb").read())
text, blob = [part.get_payload(decode=True) for part in message.walk() if not part.is_multipart()]
assert not message.defects and message["Subject"] == "Dots", message["Subject"]
assert text.replace(b"\r\n", b"\n") == open(sys.argv[2], "rb").read(), text
assert blob == open(sys.argv[3], "rb").read(), "attachment differs"
EOF

# The trace shows the dialogue but not the text.
send --port "$plain" --to bob@example.com --trace "$scratch/message.eml" 2> "$scratch/trace" ||
  fail "send --trace exited $?: $(cat "$scratch/trace")"
lines=$(wc -l < "$scratch/message.eml")
for expected in '^C: EHLO .+' '^S: 250[- ]' '^C: MAIL FROM: <>$' "^C: \\($lines message lines\\)\$" '^C: \.$' '^C: QUIT$'; do
  checks=$((checks + 1))
  grep -Eq "$expected" "$scratch/trace" || fail "trace has no line matching '$expected': $(cat "$scratch/trace")"
done
checks=$((checks + 1))
grep -Eq 'Dots|Hello|Content-Type' "$scratch/trace" && fail "trace shows message text: $(cat "$scratch/trace")"

# Logins: the password file's first line is the password, and the secret
# never shows, neither as text nor as base64. This server has no TLS, so a
# login needs --allow-plaintext-auth and is refused before AUTH without it.
printf 'se cret\nnot this\n' > "$scratch/password"
printf 'wrong\n' > "$scratch/wrong"
for mechanism in PLAIN LOGIN; do
  start_server "$mechanism" --login "ann:se cret" --only "$mechanism"
  expect_error "login as ann refused: the connection is not encrypted" \
    send --port "$port" --to bob@example.com --user ann --password-file "$scratch/password" "$scratch/message.eml"
  send --port "$port" --to bob@example.com --user ann --password-file "$scratch/password" --trace \
    --allow-plaintext-auth "$scratch/message.eml" 2> "$scratch/trace" ||
    fail "$mechanism login exited $?: $(cat "$scratch/trace")"
  expect_envelope "$scratch/$mechanism" 1 "<>" bob@example.com
  checks=$((checks + 1))
  grep -q '^S: 235' "$scratch/trace" && grep -q '\*\*\*\*\*$' "$scratch/trace" &&
    ! grep -Eq 'cret|AGFubgBzZSBjcmV0|c2UgY3JldA' "$scratch/trace" ||
    fail "$mechanism trace shows the secret or no login: $(cat "$scratch/trace")"
  expect_error "login as ann refused: 535" \
    send --port "$port" --to bob@example.com --user ann --password-file "$scratch/wrong" --allow-plaintext-auth \
    "$scratch/message.eml"
done
# Without a login such a server refuses the sender.
expect_error '^corvid send: MAIL FROM refused: smtp\.permanent_failure\[530 ' \
  send --port "$port" --to bob@example.com "$scratch/message.eml"

# Failures say what failed, on one line.
closed=$("$python" -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
expect_error "^corvid send: cannot connect to 127\\.0\\.0\\.1:$closed: .*connection_refused" \
  send --port "$closed" --to bob@example.com "$scratch/message.eml"
start_server refusing --refuse-rcpt
expect_error '^corvid send: RCPT TO refused: smtp\.permanent_failure\[550 no such user\]$' \
  send --port "$port" --to nobody@example.com "$scratch/message.eml"
# Once the end marker is accepted the message is the server's: a failing QUIT
# is reported, not taken for a failed delivery.
start_server quitting --refuse-quit
checks=$((checks + 1))
send --port "$port" --to bob@example.com "$scratch/message.eml" 2> "$scratch/err" ||
  fail "a refused QUIT after delivery exited $?"
[ "$(cat "$scratch/err")" = "corvid send: message accepted, but QUIT refused: smtp.temporary_failure[421 shutting down]" ] ||
  fail "refused QUIT: $(cat "$scratch/err")"
expect_envelope "$scratch/quitting" 1 "<>" bob@example.com
start_server silent --silent
started=$SECONDS
expect_error '^corvid send: greeting failed: .*timed_out' \
  send --port "$port" --to bob@example.com --timeout 1 "$scratch/message.eml"
[ $((SECONDS - started)) -le 5 ] || fail "--timeout 1 took $((SECONDS - started)) s"
expect_error '^corvid send: no message in ' send --port "$plain" --to bob@example.com /dev/null

# Usage errors, none of which may reach the server.
at="--server 127.0.0.1 --port $plain"
for args in "--port $plain --to b@x" "$at" "$at --to b@x --port 0" "$at --to b@x --timeout 0" \
  "$at --to b@x --user ann" "$at --to b@x --password-file $scratch/password" "$at --to <b@x>"; do
  # shellcheck disable=SC2086
  expect_failure timeout 60 "$CORVID" send $args "$scratch/message.eml"
done
[ ! -e "$scratch/plain/4.eml" ] || fail "a refused command line still delivered"

finish
