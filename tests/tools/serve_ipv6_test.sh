#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# corvid smtp serve on IPv6: on [::1] and on [::] taking IPv4 clients too,
# with Python's smtplib, swaks and corvid send as clients; the trace line
# names both ends by their address literals. Skips where the machine has no IPv6 loopback.
source "$(dirname "$0")/lib.sh"
python=${CORVID_PYTHON:-python3}
command -v swaks > /dev/null || { echo "FAIL: swaks is missing (scripts/deps --test installs it)" >&2; exit 1; }
if ! "$python" -c 'import socket; socket.socket(socket.AF_INET6).bind(("::1", 0))' 2> /dev/null; then
  echo "SKIP: this machine has no IPv6 loopback address (::1)"
  exit 0
fi

servers=()
trap 'kill "${servers[@]}" 2> /dev/null; rm -rf "$scratch"' EXIT

# start_server NAME LISTEN...: a server with a Maildir in $scratch/NAME;
# sets $ports to the ports of its "listening on" lines, in order.
start_server() {
  local name=$1; shift
  local listen=()
  for each in "$@"; do listen+=(--listen "$each"); done
  mkdir -p "$scratch/$name"
  (cd "$scratch/$name" &&
    exec timeout --foreground 100 "$CORVID" smtp serve "${listen[@]}" --hostname mx.test \
      > "$scratch/$name.out" 2> "$scratch/$name.log") &
  servers+=("$!")
  for _ in $(seq 300); do [ "$(wc -l < "$scratch/$name.out")" -ge $# ] && break; sleep 0.1; done
  ports=()
  while read -r line; do
    [[ "$line" =~ ^listening\ on\ .*:([0-9]+)$ ]] && ports+=("${BASH_REMATCH[1]}")
  done < "$scratch/$name.out"
  [ "${#ports[@]}" -eq $# ] || { echo "FAIL: $name did not start: $(cat "$scratch/$name.out" "$scratch/$name.log")" >&2; exit 1; }
}

# expect_trace NAME PEER LOCAL: the one message in NAME's new/ has the trace
# line of a client at PEER to LOCAL (address literals, regex-quoted); it is
# removed for the next check.
expect_trace() {
  checks=$((checks + 1))
  local found=("$scratch/$1/Maildir/new"/*)
  if [ "${#found[@]}" -ne 1 ] || [ ! -f "${found[0]}" ]; then
    fail "expected one message in $1, found: ${found[*]} $(tail -n 3 "$scratch/$1.log")"
    return
  fi
  head -n 1 "${found[0]}" | grep -Eq "^Received: from [^ ]+ \($2\) by mx\.test \($3\) with E?SMTP; " ||
    fail "trace line in $1: $(head -n 1 "${found[0]}")"
  rm -f "${found[0]}"
}

smtplib_send() {  # HOST PORT
  timeout 60 "$python" - "$1" "$2" <<'PY'
import smtplib, sys
with smtplib.SMTP(sys.argv[1], int(sys.argv[2]), timeout=20) as s:
    s.sendmail("ann@example.com", ["bob@example.com"], "Subject: over IPv6\r\n\r\nHello.\r\n")
PY
}

swaks_send() {  # OPTION... 
  timeout 60 swaks --from ann@example.com --to bob@example.com --body "Hello." "$@" > "$scratch/swaks.out" 2>&1 ||
    fail "swaks $*: $(tail -n 5 "$scratch/swaks.out")"
}

literal6='\[IPv6:::1\]'
literal4='\[127\.0\.0\.1\]'

# The IPv6 loopback only, named and bracketed as users write it.
start_server loop6 '[::1]:0'
grep -qx "listening on \[::1\]:${ports[0]}" "$scratch/loop6.out" || fail "listening line: $(cat "$scratch/loop6.out")"
smtplib_send ::1 "${ports[0]}" || fail "smtplib to [::1]"
expect_trace loop6 "$literal6" "$literal6"
swaks_send -6 --server ::1 --port "${ports[0]}"
expect_trace loop6 "$literal6" "$literal6"
# corvid send, bracketed or not, greeting with its own IPv6 literal.
for server in '[::1]' '::1'; do
  printf 'Subject: over IPv6\r\n\r\nHello.\r\n' |
    timeout 60 "$CORVID" send -6 --server "$server" --port "${ports[0]}" --helo '[IPv6:::1]' bob@example.com ||
    fail "corvid send --server $server exited $?"
  expect_trace loop6 "$literal6" "$literal6"
done
# Without -6 the name's IPv4 address is refused and its IPv6 one is next.
printf 'Subject: in turn\r\n\r\nHello.\r\n' > "$scratch/turn.eml"
if "$python" -c 'import socket,sys; sys.exit(0 if {a[0] for a in socket.getaddrinfo("localhost", 25, proto=6)} >= {socket.AF_INET, socket.AF_INET6} else 1)'; then
  timeout 60 "$CORVID" send --server localhost --port "${ports[0]}" --tls none --file "$scratch/turn.eml" bob@example.com ||
    fail "corvid send to localhost did not go on to ::1: exit $?"
  expect_trace loop6 "$literal6" "$literal6"
else
  echo "localhost has not both an IPv4 and an IPv6 address here: connecting in turn by name is not tried"
fi
expect_failure timeout 60 "$CORVID" send -4 --server ::1 --port "${ports[0]}" --file "$scratch/turn.eml" bob@example.com
# Nobody listens on IPv4 there.
"$python" -c 'import socket,sys; socket.create_connection(("127.0.0.1", int(sys.argv[1])), timeout=5)' "${ports[0]}" \
  2> /dev/null && fail "[::1] listener took an IPv4 client"

# Dual stack: [::] takes both families; an IPv4 client is shown as IPv4.
start_server dual '[::]:0'
smtplib_send ::1 "${ports[0]}" || fail "smtplib to [::] over IPv6"
expect_trace dual "$literal6" "$literal6"
smtplib_send 127.0.0.1 "${ports[0]}" || fail "smtplib to [::] over IPv4"
expect_trace dual "$literal4" "$literal4"
swaks_send -6 --server ::1 --port "${ports[0]}"
expect_trace dual "$literal6" "$literal6"
grep -q '127\.0\.0\.1:[0-9]*: session ended' "$scratch/dual.log" || fail "IPv4 peer not logged as IPv4: $(cat "$scratch/dual.log")"

# Beside an IPv4 listener, [::] takes IPv6 only, so both can share a port
# number when asked for one; here each has its own.
start_server both '[::]:0' '127.0.0.1:0'
swaks_send -6 --server ::1 --port "${ports[0]}"
expect_trace both "$literal6" "$literal6"
swaks_send -4 --server 127.0.0.1 --port "${ports[1]}"
expect_trace both "$literal4" "$literal4"
"$python" -c 'import socket,sys; socket.create_connection(("127.0.0.1", int(sys.argv[1])), timeout=5)' "${ports[0]}" \
  2> /dev/null && fail "v6-only [::] listener took an IPv4 client"

# An IPv6 address needs its brackets; without them the port would be
# ambiguous.
expect_failure "$CORVID" smtp serve --listen ::1:2525 --discard
expect_failure "$CORVID" smtp serve --listen '[]:2525' --discard

finish
