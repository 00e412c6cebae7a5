# SPDX-License-Identifier: MIT
# Small assertion helpers for the tool tests. Each failure is reported and
# counted; finish prints the tally and sets the exit status.
set -u
failures=0
checks=0
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# Servers that a test stops with a signal run under "timeout --foreground":
# without it timeout follows the signal with SIGCONT, which can cancel the
# stop that LeakSanitizer's exit check waits for, and the sanitized server
# then never ends.

fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# expect_output EXPECTED command...: stdout equals EXPECTED (one line).
expect_output() {
  local expected=$1; shift
  checks=$((checks + 1))
  local got
  got=$("$@" 2> "$scratch/err") || { fail "$* exited $?: $(cat "$scratch/err")"; return; }
  [ "$got" = "$expected" ] || fail "$*: expected '$expected', got '$got'"
}

# expect_match REGEX command...: stdout matches the extended REGEX.
expect_match() {
  local regex=$1; shift
  checks=$((checks + 1))
  local got
  got=$("$@" 2> "$scratch/err") || { fail "$* exited $?: $(cat "$scratch/err")"; return; }
  [[ "$got" =~ $regex ]] || fail "$*: '$got' does not match '$regex'"
}

# expect_failure command...: non-zero exit, empty stdout, exactly one line
# on stderr.
expect_failure() {
  checks=$((checks + 1))
  if "$@" > "$scratch/out" 2> "$scratch/err"; then fail "$* succeeded"; return; fi
  [ -s "$scratch/out" ] && fail "$*: wrote to stdout on failure"
  local lines
  lines=$(wc -l < "$scratch/err")
  [ "$lines" -eq 1 ] || fail "$*: expected one line on stderr, got $lines: $(cat "$scratch/err")"
}

# expect_same_file A B: the two files hold the same bytes.
expect_same_file() {
  checks=$((checks + 1))
  cmp -s "$1" "$2" || fail "$1 and $2 differ"
}

finish() {
  echo "$((checks - failures)) passed, $failures failed"
  [ "$failures" -eq 0 ]
}
