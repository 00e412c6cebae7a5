#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# corvid send against real SMTP servers (Python's aiosmtpd, tests/tools/
# smtp_sink.py, and corvid smtp serve with scripted replies): what arrives is
# what compose wrote, byte for byte, it works as sendmail does (-t, several
# recipients, the envelope sender from From), logins work without showing
# their secrets, and every failure is one line with the exit status of
# sysexits.h that tells a script whether to try again.
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

# start_scripted RULE...: corvid smtp serve answering by the --reply RULEs,
# discarding what it takes; sets $port.
start_scripted() {
  local name=scripted$((${#servers[@]}))
  local rules=()
  for rule in "$@"; do rules+=(--reply "$rule"); done
  timeout --foreground 150 "$CORVID" smtp serve --listen 127.0.0.1:0 --hostname mx.test --discard "${rules[@]}" \
    > "$scratch/$name.out" 2> "$scratch/$name.log" &
  servers+=($!)
  for _ in $(seq 100); do [ -s "$scratch/$name.out" ] && break; sleep 0.1; done
  port=$(sed -n 's/^listening on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$scratch/$name.out")
  [ -n "$port" ] || { echo "FAIL: $name did not start: $(cat "$scratch/$name.log")" >&2; exit 1; }
}

send() { timeout 60 "$CORVID" send --server 127.0.0.1 "$@"; }

# expect_error STATUS REGEX command...: that exit status, nothing on stdout
# and one line on stderr that matches REGEX.
expect_error() {
  local expected=$1 regex=$2; shift 2
  checks=$((checks + 1))
  "$@" > "$scratch/out" 2> "$scratch/err"
  local status=$?
  local lines
  lines=$(wc -l < "$scratch/err")
  [ "$status" -eq "$expected" ] && [ ! -s "$scratch/out" ] && [ "$lines" -eq 1 ] && grep -Eq "$regex" "$scratch/err" ||
    fail "$*: status $status, stderr '$(cat "$scratch/err")', expected $expected and one line matching '$regex'"
}

# expect_envelope FOLDER N SENDER RECIPIENTS [FILE]: message N arrived with
# that envelope (recipients space-separated) and exactly the bytes of FILE
# ($scratch/message.eml by default).
expect_envelope() {
  checks=$((checks + 1))
  local rcpt
  rcpt=$(tr '\n' ' ' < "$1/$2.rcpt" 2> /dev/null)
  [ "$(cat "$1/$2.from" 2> /dev/null)" = "$3" ] && [ "${rcpt% }" = "$4" ] ||
    fail "message $2 in $1: envelope '$(cat "$1/$2.from")' -> '$rcpt', expected '$3' -> '$4'"
  expect_same_file "$1/$2.eml" "${5:-$scratch/message.eml}"
}

# Lines the transport must not take for its own: dot-stuffing has to be
# undone exactly, and an empty line must survive.
printf 'Hello,\n.\n..\n.x\n\nend.\n' > "$scratch/text.txt"
head -c 70000 /dev/urandom > "$scratch/blob.bin"
"$CORVID" mime compose --header "From: ann@example.com" --to "Bob <bob@example.com>" --subject "Dots" \
  --text "$scratch/text.txt" --attach "$scratch/blob.bin" > "$scratch/message.eml" || fail "compose exited $?"
tr -d '\r' < "$scratch/message.eml" > "$scratch/message-lf.eml"

start_server plain --refuse-rcpt
plain=$port
expect_output "" send --port "$plain" --to bob@example.com --file "$scratch/message.eml"
expect_envelope "$scratch/plain" 1 "<>" bob@example.com
# sendmail's way: addresses as arguments, the message on standard input.
expect_output "" send --port "$plain" -oi -i -f ann@example.com bob@example.com carol@example.com < "$scratch/message-lf.eml"
expect_envelope "$scratch/plain" 2 ann@example.com "bob@example.com carol@example.com"

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

# -t: To, Cc and Bcc are the recipients, and Bcc leaves the message; the
# sender comes from From; one refused recipient does not stop the others.
printf 'From: "Ann, A." <ann@example.com>\nTo: Bob <bob@example.com>, nobody@example.com\nCc: team: carol@example.com, (x) dave@example.com;\nBcc: eve@example.com,\n  frank@example.com\nSubject: t\n\nbody\n' > "$scratch/t.eml"
printf 'From: "Ann, A." <ann@example.com>\r\nTo: Bob <bob@example.com>, nobody@example.com\r\nCc: team: carol@example.com, (x) dave@example.com;\r\nSubject: t\r\n\r\nbody\r\n' > "$scratch/t-sent.eml"
checks=$((checks + 1))
send --port "$plain" -t --read-envelope-from --log "$scratch/send.log" < "$scratch/t.eml" 2> "$scratch/err" ||
  fail "send -t exited $?: $(cat "$scratch/err")"
grep -q '^corvid send: delivered, but nobody@example.com was refused: 550 no such user$' "$scratch/err" ||
  fail "send -t did not tell of the refused recipient: $(cat "$scratch/err")"
expect_envelope "$scratch/plain" 3 ann@example.com \
  "bob@example.com carol@example.com dave@example.com eve@example.com frank@example.com" "$scratch/t-sent.eml"
checks=$((checks + 1))
grep -Eq '^[0-9T:.-]+Z server=127\.0\.0\.1:[0-9]+ tls=starttls from=<ann@example\.com> to=<bob@example\.com>:"250 OK" to=<nobody@example\.com>:"550 no such user" .* size=[0-9]+ result="250 Message accepted"$' "$scratch/send.log" ||
  fail "--log line: $(cat "$scratch/send.log")"

# The trace shows the dialogue but not the text.
send --port "$plain" --to bob@example.com --trace --file "$scratch/message.eml" 2> "$scratch/trace" ||
  fail "send --trace exited $?: $(cat "$scratch/trace")"
lines=$(wc -l < "$scratch/message.eml")
for expected in '^C: EHLO .+' '^S: 250[- ]' '^C: MAIL FROM: <>$' "^C: \\($lines message lines\\)\$" '^C: \.$' '^C: QUIT$'; do
  checks=$((checks + 1))
  grep -Eq "$expected" "$scratch/trace" || fail "trace has no line matching '$expected': $(cat "$scratch/trace")"
done
checks=$((checks + 1))
grep -Eq 'Dots|Hello|Content-Type' "$scratch/trace" && fail "trace shows message text: $(cat "$scratch/trace")"

# UTF-8 addresses and 8-bit text go with SMTPUTF8 and BODY=8BITMIME.
start_server utf8
printf 'From: j\xc3\xb6rg@example.com\r\nSubject: caf\xc3\xa9\r\n\r\ncaf\xc3\xa9\r\n' > "$scratch/utf8.eml"
expect_output "" send --port "$port" --from "j$(printf '\xc3\xb6')rg@example.com" --to bob@example.com --file "$scratch/utf8.eml"
expect_envelope "$scratch/utf8" 1 "j$(printf '\xc3\xb6')rg@example.com" bob@example.com "$scratch/utf8.eml"
checks=$((checks + 1))
[ "$(sort "$scratch/utf8/1.opts" | tr '\n' ' ')" = "BODY=8BITMIME SMTPUTF8 " ] || fail "MAIL parameters: $(cat "$scratch/utf8/1.opts")"

# Logins: the password's first line is the secret, from a file or a
# command, and it never shows, neither as text nor as base64. This server
# has no TLS, so PLAIN and LOGIN need --allow-plaintext-auth.
printf 'se cret\nnot this\n' > "$scratch/password"
printf 'wrong\n' > "$scratch/wrong"
for mechanism in PLAIN LOGIN; do
  start_server "$mechanism" --login "ann:se cret" --only "$mechanism"
  expect_error 77 "login refused: the connection is not encrypted, and $mechanism would show the password" \
    send --port "$port" --to bob@example.com --user ann --password-file "$scratch/password" --file "$scratch/message.eml"
  send --port "$port" --to bob@example.com --user ann --password-command "printf 'se cret\\nx'" --trace \
    --allow-plaintext-auth --file "$scratch/message.eml" 2> "$scratch/trace" ||
    fail "$mechanism login exited $?: $(cat "$scratch/trace")"
  expect_envelope "$scratch/$mechanism" 1 "<>" bob@example.com
  checks=$((checks + 1))
  grep -q '^S: 235' "$scratch/trace" && grep -q '\*\*\*\*\*$' "$scratch/trace" &&
    ! grep -Eq 'cret|AGFubgBzZSBjcmV0|c2UgY3JldA' "$scratch/trace" ||
    fail "$mechanism trace shows the secret or no login: $(cat "$scratch/trace")"
  expect_error 77 "login refused: 535" \
    send --port "$port" --to bob@example.com --user ann --password-file "$scratch/wrong" --allow-plaintext-auth \
    --file "$scratch/message.eml"
done
# Without a login such a server refuses the sender.
expect_error 69 '^corvid send: MAIL FROM refused: smtp\.permanent_failure\[530 ' \
  send --port "$port" --to bob@example.com --file "$scratch/message.eml"
expect_error 78 '^corvid send: cannot read the password: false exited with 1$' \
  send --port "$port" --to bob@example.com --user ann --password-command false --file "$scratch/message.eml"

# Each failure's exit status, against scripted replies.
closed=$("$python" -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
expect_error 75 "^corvid send: cannot connect to 127\\.0\\.0\\.1:$closed: .*connection_refused" \
  send --port "$closed" --to bob@example.com --file "$scratch/message.eml"
start_scripted 'rcpt:*@temp.test=451 4.3.0 Try later' 'rcpt:*@gone.test=550 5.1.1 Gone' \
  'mail:*@banned.test=550 5.7.1 Not you' 'data=554 5.6.0 Not this'
for row in '75|a@temp.test|RCPT TO refused: smtp\.temporary_failure\[451 4\.3\.0 Try later\]' \
  '65|a@gone.test|RCPT TO refused: smtp\.permanent_failure\[550 5\.1\.1 Gone\]' \
  '65|bob@example.com|message refused: smtp\.permanent_failure\[554 5\.6\.0 Not this\]'; do
  IFS='|' read -r status to regex <<< "$row"
  expect_error "$status" "^corvid send: $regex" send --port "$port" --to "$to" --file "$scratch/message.eml"
done
expect_error 69 '^corvid send: MAIL FROM refused: smtp\.permanent_failure\[550 5\.7\.1 Not you\]$' \
  send --port "$port" --from ann@banned.test --to bob@example.com --file "$scratch/message.eml"
scripted=$port
start_scripted 'data=drop'
expect_error 75 '^corvid send: the server may have the message \(do not send it again blindly\): .*outcome_unknown' \
  send --port "$port" --to bob@example.com --file "$scratch/message.eml"
port=$scripted
printf 'Subject: long\n\n%s\n' "$(head -c 1200 /dev/zero | tr '\0' x)" > "$scratch/long.eml"
expect_error 65 '^corvid send: line 3 of the message is longer than 998 octets' \
  send --port "$port" --to bob@example.com --file "$scratch/long.eml"
# A reply that is not a reply, or not one the step may take, is never success.
"$python" - > "$scratch/odd.port" << 'EOF' &
import socket
listener = socket.socket()
listener.bind(("127.0.0.1", 0))
listener.listen()
listener.settimeout(30)
print(listener.getsockname()[1], flush=True)
peer, _ = listener.accept()
peer.settimeout(30)
reader = peer.makefile("rb")
peer.sendall(b"220 odd.test\r\n")
for reply in (b"250 odd.test", b"250 ok", b"250 ok", b"354 go"):
    reader.readline()
    peer.sendall(reply + b"\r\n")
while reader.readline() not in (b".\r\n", b""):
    pass
peer.sendall(b"199 ok?\r\n")
reader.readline()
EOF
servers+=($!)
for _ in $(seq 100); do [ -s "$scratch/odd.port" ] && break; sleep 0.1; done
expect_error 76 '^corvid send: message failed: smtp\.protocol_error\[Unexpected reply to the end of the message: 199 ok\?\]$' \
  send --port "$(cat "$scratch/odd.port")" --to bob@example.com --file "$scratch/message.eml"

# Once the end marker is accepted the message is the server's: a failing QUIT
# is reported, not taken for a failed delivery.
start_server quitting --refuse-quit
checks=$((checks + 1))
send --port "$port" --to bob@example.com --file "$scratch/message.eml" 2> "$scratch/err" ||
  fail "a refused QUIT after delivery exited $?"
[ "$(cat "$scratch/err")" = "corvid send: message accepted, but QUIT refused: smtp.temporary_failure[421 shutting down]" ] ||
  fail "refused QUIT: $(cat "$scratch/err")"
expect_envelope "$scratch/quitting" 1 "<>" bob@example.com
start_server silent --silent
started=$SECONDS
expect_error 75 '^corvid send: greeting failed: .*timed_out' \
  send --port "$port" --to bob@example.com --timeout 1 --file "$scratch/message.eml"
[ $((SECONDS - started)) -le 5 ] || fail "--timeout 1 took $((SECONDS - started)) s"
expect_error 66 '^corvid send: no message in ' send --port "$plain" --to bob@example.com --file /dev/null

# Usage errors exit 64, and none of them may reach the server.
at="--server 127.0.0.1 --port $plain"
for args in "--port $plain --to b@x" "$at" "$at --to b@x --port 0" "$at --to b@x --timeout 0" \
  "$at --to b@x --user ann" "$at --to b@x --password-file $scratch/password" "$at --to <b@x>" "$at -ox b@x"; do
  # shellcheck disable=SC2086
  expect_error 64 . timeout 60 "$CORVID" send $args --file "$scratch/message.eml"
done
[ ! -e "$scratch/plain/5.eml" ] || fail "a refused command line still delivered"

finish
