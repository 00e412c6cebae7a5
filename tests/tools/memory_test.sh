#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The streaming subcommands keep their peak memory flat, whatever the input
# size: each runs on input many pieces long that arrives through a pipe.
source "$(dirname "$0")/lib.sh"

bound_kib=${CORVID_MEMORY_BOUND_KIB:-16384}
head -c $((40 << 20)) /dev/urandom > "$scratch/bytes"
base64 -w 76 "$scratch/bytes" > "$scratch/base64"
"$CORVID_PYTHON" -c 'import sys; sys.stdout.write("caf\u00e9 \u65e5\u672c\u8a9e \U0001F600 line\n" * 1500000)' > "$scratch/utf8"

# peak_kib FILE command...: the command's VmHWM once all of FILE has gone
# into its pipe; the input stays open meanwhile so the process is still there
# to ask.
peak_kib() {
  local file=$1; shift
  rm -f "$scratch/fifo" && mkfifo "$scratch/fifo"
  "$@" < "$scratch/fifo" > /dev/null &
  local pid=$!
  exec 3> "$scratch/fifo"
  cat "$file" >&3
  sleep 0.2
  awk '/^VmHWM:/ { print $2 }' "/proc/$pid/status"
  exec 3>&-
  wait "$pid"
}

check_peak() {
  checks=$((checks + 1))
  local kib
  kib=$(peak_kib "$@")
  [ -n "$kib" ] && [ "$kib" -lt "$bound_kib" ] || fail "${*:2}: peak ${kib:-unknown} KiB, bound $bound_kib KiB"
}

check_peak "$scratch/bytes" "$CORVID" encode base64
check_peak "$scratch/bytes" "$CORVID" encode qp --wrap 76
check_peak "$scratch/base64" "$CORVID" decode base64
check_peak "$scratch/bytes" "$CORVID" md5
check_peak "$scratch/utf8" "$CORVID" convert --from UTF-8 --to UTF-16LE
check_peak "$scratch/utf8" "$CORVID" convert --from UTF-8 --to ISO-2022-JP

finish
