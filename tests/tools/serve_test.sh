#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# corvid smtp serve as a user runs it: real clients deliver into its Maildir
# byte for byte, pipelined commands are answered in order, and the limits,
# time-outs, write failures and a stop do what they promise.
source "$(dirname "$0")/lib.sh"
python=${CORVID_PYTHON:-python3}
talk_script="$(cd "$(dirname "$0")" && pwd)/smtp_talk.py"
talk() { timeout 60 "$python" "$talk_script" "$@"; }
command -v swaks > /dev/null || { echo "FAIL: swaks is missing (scripts/deps --test installs it)" >&2; exit 1; }

servers=()
trap 'kill "${servers[@]}" 2> /dev/null; rm -rf "$scratch"' EXIT

# start_server NAME OPTION...: a server working in $scratch/NAME, its stderr
# in $scratch/NAME.log; sets $port and $server.
start_server() {
  local name=$1; shift
  mkdir -p "$scratch/$name"
  (cd "$scratch/$name" &&
    exec timeout --foreground 200 "$CORVID" smtp serve --listen 127.0.0.1:0 --hostname mx.test "$@" \
      > "$scratch/$name.out" 2> "$scratch/$name.log") &
  server=$!
  servers+=("$server")
  for _ in $(seq 300); do [ -s "$scratch/$name.out" ] && break; sleep 0.1; done
  local line
  line=$(cat "$scratch/$name.out")
  [[ "$line" =~ ^listening\ on\ 127\.0\.0\.1:([0-9]+)$ ]] ||
    { echo "FAIL: $name did not start: '$line' $(cat "$scratch/$name.log")" >&2; exit 1; }
  port=${BASH_REMATCH[1]}
}

# await_log NAME REGEX: waits (up to 20 s) for a line of NAME's log.
await_log() {
  for _ in $(seq 200); do grep -Eq "$2" "$scratch/$1.log" && return; sleep 0.1; done
  fail "no log line matching '$2' in $1: $(cat "$scratch/$1.log")"
}

# expect_talk EXPECTED STEP...: a smtp_talk.py session's reply lines end
# with the lines of EXPECTED.
expect_talk() {
  local expected=$1; shift
  checks=$((checks + 1))
  local got
  got=$(talk "$port" "$@" 2>&1 | tail -n "$(wc -l <<< "$expected")")
  [ "$got" = "$expected" ] || fail "session $*: expected
$expected
got
$got"
}

# expect_delivered SENT: new/ holds exactly one message, a trace line and
# then SENT with LF line ends, and tmp/ is empty again. The message is
# removed for the next check.
expect_delivered() {
  checks=$((checks + 1))
  local found=("$box"/new/*)
  if [ "${#found[@]}" -ne 1 ] || [ ! -f "${found[0]}" ]; then
    fail "expected one message in new/ for $1, found: $(ls "$box/new")"
    rm -f "$box"/new/*
    return
  fi
  head -n 1 "${found[0]}" |
    grep -Eq '^Received: from [^ ]+ \(\[127\.0\.0\.1\]\) by mx\.test \(\[127\.0\.0\.1\]\) with E?SMTP; [A-Z][a-z]{2}, ' ||
    fail "trace line for $1: $(head -n 1 "${found[0]}")"
  tail -n +2 "${found[0]}" > "$scratch/got"
  tr -d '\r' < "$1" > "$scratch/want"
  cmp -s "$scratch/got" "$scratch/want" || fail "stored message differs from $1: $(cmp "$scratch/got" "$scratch/want")"
  [ -z "$(ls -A "$box/tmp")" ] || fail "tmp/ not empty after $1: $(ls "$box/tmp")"
  rm -f "${found[0]}"
}

# Messages whose bytes a careless server would change: dot lines that must
# be unstuffed exactly, 8-bit text (also bytes that are not UTF-8), spaces
# at line ends, a line of 998 characters, an empty last line; and a 1 MB
# attachment.
long=$(printf 'x%.0s' $(seq 998))
printf '%s\n' 'From: Ann <ann@example.com>' 'To: bob@example.com' 'Subject: Dots and bytes' \
  'MIME-Version: 1.0' 'Content-Type: text/plain; charset=utf-8' 'Content-Transfer-Encoding: 8bit' '' \
  'Grüße aus Köln, ½ € — naïve café.' '.' '..' '.x' '...three' ' .' 'trailing  ' $'\ttab' \
  $'raw \xff\xfe\xe9 bytes' "$long" 'end.' '' | sed 's/$/\r/' > "$scratch/eightbit.eml"
printf 'See the attachment.\n.\n..\n' > "$scratch/text.txt"
head -c 1000000 /dev/urandom > "$scratch/blob.bin"
"$CORVID" mime compose --header "From: ann@example.com" --to "Bob <bob@example.com>" --subject "Blob" \
  --text "$scratch/text.txt" --attach "$scratch/blob.bin" > "$scratch/attachment.eml" || fail "compose exited $?"

# The default folder is ./Maildir, made on start with cur/ for readers.
start_server a
server_a=$server
box=$scratch/a/Maildir
checks=$((checks + 1))
[ -d "$box/cur" ] || fail "no cur/ in the new Maildir"

via_smtplib() {
  timeout 60 "$python" - "$port" "$1" << 'EOF'
import smtplib, sys
with smtplib.SMTP("127.0.0.1", int(sys.argv[1]), timeout=30) as client:
    client.sendmail("ann@example.com", ["bob@example.com"], open(sys.argv[2], "rb").read())
EOF
}
# swaks ends the text with CR LF . CR LF itself, so it gets the file
# without its last line end.
via_swaks() {
  head -c -2 "$1" > "$scratch/for-swaks"
  timeout 60 swaks --server 127.0.0.1 --port "$port" --from ann@example.com --to bob@example.com \
    --data "$scratch/for-swaks" > "$scratch/swaks.out" 2>&1 || { cat "$scratch/swaks.out"; return 1; }
}
via_corvid() {
  timeout 60 "$CORVID" send --server 127.0.0.1 --port "$port" --from ann@example.com --to bob@example.com --file "$1"
}
for client in via_smtplib via_swaks via_corvid; do
  for message in eightbit attachment; do
    $client "$scratch/$message.eml" || fail "$client $message exited $?"
    expect_delivered "$scratch/$message.eml"
  done
done
checks=$((checks + 1))
delivered=': message from <ann@example\.com> to <bob@example\.com>, [0-9]+ bytes: delivered as new/'
[ "$(grep -Ec "$delivered" "$scratch/a.log")" -eq 6 ] &&
  [ "$(grep -Ec ': session ended, 1 delivered: 221 2\.0\.0 mx\.test Bye$' "$scratch/a.log")" -eq 6 ] ||
  fail "log lines: $(cat "$scratch/a.log")"

# Pipelined commands in one write are answered in order.
expect_talk '220 mx.test ESMTP Ready
250-mx.test Hello client
250-PIPELINING
250-8BITMIME
250-SIZE 33554432
250-ENHANCEDSTATUSCODES
250-SMTPUTF8
250 HELP
250 2.1.0 OK
250 2.1.5 OK
354 Go Ahead
250 2.0.0 OK (33 bytes)
221 2.0.0 mx.test Bye' \
  'raw:EHLO client\r\nMAIL FROM:<ann@example.com>\r\nRCPT TO:<bob@example.com>\r\nDATA\r\nSubject: pipelined\r\n\r\none write\r\n.\r\nQUIT\r\n' \
  drain
printf 'Subject: pipelined\r\n\r\none write\r\n' > "$scratch/pipelined.eml"
expect_delivered "$scratch/pipelined.eml"

envelope=(reply 'cmd:EHLO client' 'cmd:MAIL FROM:<ann@example.com>' 'cmd:RCPT TO:<bob@example.com>' cmd:DATA)
# A client gone in the middle of the text leaves nothing behind.
talk "$port" "${envelope[@]}" 'send:Subject: cut short' send: 'send:half a' close > /dev/null
await_log a ': session ended, 0 delivered: closed by the client$'
checks=$((checks + 1))
[ -z "$(find "$box/new" "$box/tmp" -mindepth 1)" ] || fail "a message cut short left files: $(ls -R "$box")"

# A message that cannot be written, or not moved into new/, gets 451 and
# leaves no file in tmp/. A file in place of the folder fails even for root.
for sub in tmp new; do
  mv "$box/$sub" "$box/$sub.saved" && touch "$box/$sub"
  expect_talk '451 4.3.0 Rejected (local processing)' "${envelope[@]}" 'send:Subject: no room' send: cmd:.
  rm "$box/$sub" && mv "$box/$sub.saved" "$box/$sub"
  checks=$((checks + 1))
  [ -z "$(find "$box/new" "$box/tmp" -mindepth 1)" ] || fail "a failed delivery into $sub/ left files: $(ls -R "$box")"
done

# Start-up failures are one line and exit status 1; none starts listening.
cd "$scratch" && touch not-a-folder
for args in "--listen 127.0.0.1" "--listen 127.0.0.1:65536" "--listen 127.0.0.1:$port" \
  "--maildir $scratch/not-a-folder" "--discard --maildir $scratch/x" "--timeout 0"; do
  # shellcheck disable=SC2086
  expect_failure timeout 10 "$CORVID" smtp serve $args
done

# The limits, without a Maildir: none is made.
start_server b --discard --timeout 3 --max-sessions 2 --max-per-client 2 --max-recipients 2 --max-size 100 \
  --max-hops 2
server_b=$server
checks=$((checks + 1))
[ ! -e "$scratch/b/Maildir" ] || fail "--discard made a Maildir"
expect_talk '220 mx.test ESMTP Ready
250 mx.test Hello client
250 2.1.0 OK
250 2.1.5 OK
250 2.1.5 OK
452 4.5.3 Too many recipients
250 2.1.5 OK
354 Go Ahead
250 2.0.0 OK (14 bytes)
250 2.1.0 OK
250 2.1.5 OK
221 2.0.0 mx.test Bye' \
  reply 'cmd:HELO client' 'cmd:MAIL FROM:<ann@example.com>' 'cmd:RCPT TO:<one@example.com>' \
  'cmd:RCPT TO:<two@example.com>' 'cmd:RCPT TO:<three@example.com>' 'cmd:RCPT TO:<one@example.com>' \
  cmd:DATA 'send:Subject: x' send: cmd:. 'cmd:MAIL FROM:<ann@example.com>' 'cmd:RCPT TO:<three@example.com>' \
  cmd:QUIT
await_log b 'message from <ann@example\.com> to <one@example\.com> <two@example\.com>, 14 bytes: discarded$'
# Too large, and a loop: the session ends with the rejection.
expect_talk '354 Go Ahead
552 5.3.4 Rejected (size limit is 100 bytes)' \
  'cmd:EHLO client' 'cmd:MAIL FROM:<>' 'cmd:RCPT TO:<bob@example.com>' cmd:DATA "send:$(printf 'y%.0s' $(seq 101))" \
  cmd:. drain
expect_talk $'354 Go Ahead\n554 5.4.6 Rejected (loop detected)' \
  'cmd:EHLO client' 'cmd:MAIL FROM:<>' 'cmd:RCPT TO:<bob@example.com>' cmd:DATA \
  'send:Received: from a by mx.test' 'send:Received: from b by mx.test' send: cmd:. drain

# Two silent clients fill the sessions: a third is turned away, the two
# time out, and their places are free again.
talk "$port" reply drain > "$scratch/silent1" 2>&1 &
first=$!
talk "$port" reply drain > "$scratch/silent2" 2>&1 &
second=$!
for _ in $(seq 100); do [ -s "$scratch/silent1" ] && [ -s "$scratch/silent2" ] && break; sleep 0.1; done
expect_talk '421 mx.test ESMTP busy' drain
started=$SECONDS
wait "$first" "$second"
for silent in silent1 silent2; do
  checks=$((checks + 1))
  [ "$(cat "$scratch/$silent")" = $'220 mx.test ESMTP Ready\n421 4.4.2 mx.test Timed out' ] ||
    fail "silent client: $(cat "$scratch/$silent")"
done
checks=$((checks + 1))
[ $((SECONDS - started)) -le 10 ] || fail "--timeout 3 took $((SECONDS - started)) s"
expect_talk $'220 mx.test ESMTP Ready\n221 2.0.0 mx.test Bye' reply cmd:QUIT
# A command dripped a byte every 2 s is cut off once the time-out (3 s) has
# passed, not answered when it is whole.
checks=$((checks + 1))
drip=$(timeout 30 "$python" -c '
import select, socket, sys, time
s = socket.create_connection(("127.0.0.1", int(sys.argv[1])), timeout=20)
s.recv(512)
start = time.monotonic()
for c in b"NOOP\r\n":
    s.sendall(bytes([c]))
    if select.select([s], [], [], 2)[0]:
        break
print(s.recv(512).decode().strip(), round(time.monotonic() - start))' "$port" 2>&1)
[[ "$drip" =~ ^421\ 4\.4\.2\ mx\.test\ Timed\ out\ [3-6]$ ]] || fail "dripped command: $drip"

# SIGTERM: no new connection is taken, the session under way ends as
# usual and its message is kept, and the server exits 0.
start_server c
box=$scratch/c/Maildir
talk "$port" "${envelope[@]}" 'send:Subject: stop' send: "mark:$scratch/in-data" "await:$scratch/go" \
  'send:finished after the stop' cmd:. cmd:QUIT > "$scratch/stopping" 2>&1 &
talker=$!
for _ in $(seq 200); do [ -e "$scratch/in-data" ] && break; sleep 0.1; done
kill -TERM "$server"
await_log c '^[-0-9]{10}T[:0-9]{8}\.[0-9]{3}Z corvid smtp serve: stopping, sessions running: 1$'
checks=$((checks + 1))
talk "$port" reply > /dev/null 2>&1 && fail "a stopping server took a new connection"
touch "$scratch/go"
wait "$talker"
checks=$((checks + 1))
[ "$(tail -n 2 "$scratch/stopping")" = $'250 2.0.0 OK (42 bytes)\n221 2.0.0 mx.test Bye' ] ||
  fail "session during the stop: $(cat "$scratch/stopping")"
for _ in $(seq 50); do kill -0 "$server" 2> /dev/null || break; sleep 0.1; done
checks=$((checks + 1))
wait "$server"
status=$?
[ "$status" -eq 0 ] || fail "stopped server exited $status: $(cat "$scratch/c.log")"
printf 'Subject: stop\r\n\r\nfinished after the stop\r\n' > "$scratch/stop.eml"
expect_delivered "$scratch/stop.eml"

# Logins: swaks logs in with each mechanism from a password file, and a
# wrong password is refused; a file others may read is refused.
printf 'tim:s3cret\n' > "$scratch/users"
chmod 644 "$scratch/users"
expect_failure timeout 10 "$CORVID" smtp serve --auth-file "$scratch/users"
chmod 600 "$scratch/users"
start_server d --discard --auth-file "$scratch/users" --require-auth --allow-plaintext-auth --max-per-client 1 \
  --reply 'rcpt:*@temp.test=451 4.3.0 Try later' --reply 'mail:bad*=550 5.7.1 Not you' --max-messages 6
swaks_as() {
  timeout 30 swaks --server 127.0.0.1 --port "$port" --from ann@example.com --to bob@example.com \
    --auth "$1" --auth-user tim --auth-password "$2" > "$scratch/swaks.out" 2>&1
}
for mechanism in CRAM-MD5 PLAIN LOGIN; do
  checks=$((checks + 1))
  swaks_as "$mechanism" s3cret || fail "swaks --auth $mechanism exited $?: $(tail -n 5 "$scratch/swaks.out")"
done
checks=$((checks + 1))
swaks_as PLAIN wrong && fail "swaks logged in with a wrong password"
grep -q '535 5.7.8' "$scratch/swaks.out" || fail "wrong password: $(tail -n 5 "$scratch/swaks.out")"
# smtplib: MAIL before a login, a login, the rules' answers, and a UTF-8
# envelope with SMTPUTF8.
checks=$((checks + 1))
timeout 60 "$python" "${talk_script%/*}/login_client.py" "$port" > "$scratch/smtplib.out" 2>&1 ||
  fail "smtplib: $(cat "$scratch/smtplib.out")"
await_log d 'message from <j.{1,8}rg@example\.com> to <.{1,8}sa@example\.com>, 23 bytes: discarded$'
# One client may hold no more than its share (1 here) of the sessions.
talk "$port" reply drain > "$scratch/holder" 2>&1 &
holder=$!
for _ in $(seq 100); do [ -s "$scratch/holder" ] && break; sleep 0.1; done
expect_talk '421 mx.test ESMTP busy' drain
kill "$holder" 2> /dev/null
wait "$holder" 2> /dev/null
await_log d 'turned away: 1 sessions running from this client$'
await_log d 'session ended, 0 delivered: closed by the client$'
# --max-messages 6: five so far, one more stops the server.
swaks_as CRAM-MD5 s3cret || fail "swaks for --max-messages"
await_log d 'stopping after 6 messages'
checks=$((checks + 1))
for _ in $(seq 100); do kill -0 "$server" 2> /dev/null || break; sleep 0.1; done
! kill -0 "$server" 2> /dev/null || fail "--max-messages 6 did not stop the server"

# The other servers stop as cleanly, and no server reported a sanitizer
# finding along the way.
kill -TERM "$server_a" "$server_b"
for pid in "$server_a" "$server_b"; do
  checks=$((checks + 1))
  wait "$pid" || fail "a server exited $? on SIGTERM"
done
checks=$((checks + 1))
! grep -E 'Sanitizer|runtime error' "$scratch"/*.log || fail "sanitizer findings"

finish
