#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# corvid smtp serve started as a service manager starts it from
# corvid-smtp.socket: it serves the listening sockets it was handed (and
# --listen too only where given), ignores sockets meant for another
# process, and refuses descriptors that cannot serve with one clear line.
source "$(dirname "$0")/lib.sh"
python=${CORVID_PYTHON:-python3}
launcher="$(cd "$(dirname "$0")" && pwd)/socket_launcher.py"
command -v swaks > /dev/null || { echo "FAIL: swaks is missing (scripts/deps --test installs it)" >&2; exit 1; }

servers=()
trap 'kill "${servers[@]}" 2> /dev/null; rm -rf "$scratch"' EXIT

# start NAME LAUNCHER-OPTION... -- SERVE-OPTION...: a server in $scratch/NAME
# under the launcher; waits for its "listening on" lines in $scratch/NAME.out.
start() {
  local name=$1; shift
  local launch=()
  while [ "$1" != "--" ]; do launch+=("$1"); shift; done
  shift
  mkdir -p "$scratch/$name"
  (cd "$scratch/$name" &&
    exec timeout --foreground 100 "$python" "$launcher" "${launch[@]}" --ports "$scratch/$name.ports" -- \
      "$CORVID" smtp serve --hostname mx.test "$@" > "$scratch/$name.out" 2> "$scratch/$name.log") &
  server=$!
  servers+=("$server")
  for _ in $(seq 300); do [ -s "$scratch/$name.out" ] && break; sleep 0.1; done
}

# deliver PORT: one message through swaks, which must be accepted.
deliver() {
  checks=$((checks + 1))
  timeout 60 swaks --server "127.0.0.1:$1" --from ann@example.com --to bob@example.com \
    --header "Subject: passed socket" > "$scratch/swaks.log" 2>&1 ||
    fail "swaks to port $1 failed: $(tail -n 5 "$scratch/swaks.log")"
}

# stopped NAME: the server ends with status 0 after SIGTERM.
stopped() {
  checks=$((checks + 1))
  kill -TERM "$server"
  wait "$server"
  local status=$?
  [ "$status" -eq 0 ] || fail "$1 exited $status after SIGTERM: $(cat "$scratch/$1.log")"
}

# One passed socket: served, and the default 127.0.0.1:2525 is not opened.
start one -- --maildir box
port=$(cat "$scratch/one.ports")
expect_output "listening on 127.0.0.1:$port" cat "$scratch/one.out"
deliver "$port"
checks=$((checks + 1))
[ "$(ls "$scratch/one/box/new" | wc -l)" -eq 1 ] || fail "no message stored from the passed socket"
stopped one

# Two passed sockets and an explicit --listen: all three are served.
start three --count 2 -- --discard --listen 127.0.0.1:0
checks=$((checks + 1))
[ "$(grep -c '^listening on 127\.0\.0\.1:[0-9]*$' "$scratch/three.out")" -eq 3 ] ||
  fail "expected three listeners: $(cat "$scratch/three.out")"
for port in $(cat "$scratch/three.ports"); do
  checks=$((checks + 1))
  grep -qx "listening on 127.0.0.1:$port" "$scratch/three.out" || fail "passed port $port not served"
done
for port in $(sed 's/.*://' "$scratch/three.out"); do deliver "$port"; done
stopped three

# Sockets meant for another process are not taken: the server listens
# where --listen says, and nowhere else.
start other --pid other -- --discard --listen 127.0.0.1:0
passed=$(cat "$scratch/other.ports")
checks=$((checks + 1))
if [ "$(wc -l < "$scratch/other.out")" -ne 1 ] || grep -q ":$passed\$" "$scratch/other.out"; then
  fail "LISTEN_PID of another process was followed: $(cat "$scratch/other.out")"
fi
stopped other

# systemd's own launcher hands over its socket the same way.
if command -v systemd-socket-activate > /dev/null; then
  port=$("$python" -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
  timeout --foreground 60 systemd-socket-activate -l "127.0.0.1:$port" \
    "$CORVID" smtp serve --discard --max-messages 1 > "$scratch/activate.out" 2> "$scratch/activate.log" &
  server=$!
  servers+=("$server")
  for _ in $(seq 100); do grep -q '^Listening on' "$scratch/activate.log" && break; sleep 0.1; done
  deliver "$port"
  checks=$((checks + 1))
  wait "$server" || fail "under systemd-socket-activate: exit $?: $(cat "$scratch/activate.log")"
  expect_output "listening on 127.0.0.1:$port" cat "$scratch/activate.out"
else
  echo "systemd-socket-activate is missing: tried with the launcher alone"
fi

# A passed IPv6 socket serves as one of its own would.
if "$python" -c 'import socket; socket.socket(socket.AF_INET6).bind(("::1", 0))' 2> /dev/null; then
  start six --family 6 -- --discard
  port=$(cat "$scratch/six.ports")
  expect_output "listening on [::1]:$port" cat "$scratch/six.out"
  checks=$((checks + 1))
  timeout 60 swaks -6 --server "::1" --port "$port" --from ann@example.com --to bob@example.com \
    > "$scratch/swaks.log" 2>&1 || fail "swaks -6 to port $port failed: $(tail -n 5 "$scratch/swaks.log")"
  stopped six
else
  echo "no IPv6 loopback here: a passed IPv6 socket is not tried"
fi

# Passed descriptors that cannot serve stop the server at once with one line.
bad=("--kind udp" "--kind bound" "--fds x" "--fds 2")
for launch in "${bad[@]}"; do
  checks=$((checks + 1))
  # shellcheck disable=SC2086
  timeout 30 "$python" "$launcher" $launch --ports "$scratch/bad.ports" -- \
    "$CORVID" smtp serve --discard > "$scratch/bad.out" 2> "$scratch/bad.err"
  status=$?
  if [ "$status" -eq 0 ] || [ "$status" -eq 124 ] || [ -s "$scratch/bad.out" ] ||
     [ "$(wc -l < "$scratch/bad.err")" -ne 1 ] || ! grep -q 'LISTEN_FDS' "$scratch/bad.err"; then
    fail "$launch: status $status, out '$(cat "$scratch/bad.out")', err '$(cat "$scratch/bad.err")'"
  fi
done

finish
