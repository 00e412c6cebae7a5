#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# corvid encode, decode and md5 against coreutils on the same random files.
source "$(dirname "$0")/lib.sh"

# Deterministic random files, sizes around the 3-byte groups, the 57-byte
# lines and the 64-byte MD5 blocks.
sizes=(0 1 2 3 55 56 57 58 63 64 65 1000 65537 300000)
"$CORVID_PYTHON" - "$scratch" "${sizes[@]}" <<'PY'
import random, sys
random.seed(1321)
for size in sys.argv[2:]:
    with open(f"{sys.argv[1]}/r{size}", "wb") as f:
        f.write(bytes(random.getrandbits(8) for _ in range(int(size))))
PY

for size in "${sizes[@]}"; do
  f="$scratch/r$size"
  "$CORVID" encode base64 --wrap 76 "$f" > "$scratch/ours.b64"
  base64 -w 76 "$f" > "$scratch/theirs.b64"
  expect_same_file "$scratch/ours.b64" "$scratch/theirs.b64"
  expect_output "$(md5sum "$f")" "$CORVID" md5 "$f"
  expect_output "$(md5sum < "$f")" "$CORVID" md5 < "$f"
  for codec in hex base64 uu qp url; do
    "$CORVID" encode "$codec" "$f" | "$CORVID" decode --strict "$codec" > "$scratch/back"
    expect_same_file "$f" "$scratch/back"
  done
  # Line breaks are skipped when not strict.
  "$CORVID" decode base64 < "$scratch/theirs.b64" > "$scratch/back"
  expect_same_file "$f" "$scratch/back"
done

# Several inputs, standard input among them, in md5sum's format.
expect_output "$(md5sum "$scratch/r1" - "$scratch/r3" < "$scratch/r64")" \
  "$CORVID" md5 "$scratch/r1" - "$scratch/r3" < "$scratch/r64"
# Names with a line feed or backslash are escaped as md5sum does.
odd="$scratch/a
b\\c"
cp "$scratch/r2" "$odd"
expect_output "$(md5sum "$odd")" "$CORVID" md5 "$odd"

expect_output "YWJj" "$CORVID" encode base64 <(printf abc)
expect_output "YQ==" "$CORVID" encode base64 <(printf a)
expect_output "a=3Db c=3F=0D=0A" "$CORVID" encode qp <(printf 'a=b c?\r\n')
expect_output "a%20b%2F1" "$CORVID" encode url <(printf 'a b/1')
expect_output "abc" "$CORVID" decode base64 <(printf 'YW\r\nJj')
expect_output "=4G" "$CORVID" decode qp <(printf '=4G')

# A strict decoding error is the exception's text on one line, status 1.
expect_failure "$CORVID" decode base64 --strict <(printf 'YW\r\nJj')
"$CORVID" decode base64 --strict <(printf 'YW\r\nJj') > /dev/null 2> "$scratch/err"
status=$?
checks=$((checks + 1))
[ "$status" -eq 1 ] || fail "strict decode exited $status"
grep -qx 'corvid decode: cannot decode base64: translate.invalid_codeword\[Invalid Codeword 0x0D\]' "$scratch/err" ||
  fail "strict decode said: $(cat "$scratch/err")"
expect_failure "$CORVID" decode qp --strict <(printf '=4G')
# Strict base64 takes "=" only as the final padding.
expect_output "a" "$CORVID" decode base64 --strict <(printf 'YQ==')
expect_failure "$CORVID" decode base64 --strict <(printf 'YQ==YQ==')
for wrap in -1 18446744073709551616 2147483648 '' x; do
  expect_failure "$CORVID" encode base64 --wrap "$wrap" <(printf a)
done
expect_failure "$CORVID" encode rot13 <(printf a)
expect_failure "$CORVID" md5 "$scratch/no-such-file"
expect_failure "$CORVID" encode base64 "$scratch/no-such-file"

finish
