#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# corvid mime tree and extract on messages built to mislead them.
source "$(dirname "$0")/lib.sh"

# A CR LF decoded from an encoded word cannot forge a line of the tree.
printf 'Subject: =?utf-8?q?a=0D=0A1_text/plain_forged?=\r\nX-Back: a\\b\r\n\r\nbody\r\n' > "$scratch/forge.eml"
"$CORVID" mime tree "$scratch/forge.eml" > "$scratch/tree" || fail "tree: forged subject"
expect_output 1 grep -c '^[0-9]' "$scratch/tree"
expect_output '  X-Back: a\\b' grep '^  X-Back' "$scratch/tree"

# Many parts of one name are numbered in linear time: trying every earlier
# number for each part would take minutes here, a linear run seconds even
# under the sanitizers.
"$CORVID_PYTHON" - "$scratch/same.eml" <<'PY'
import sys
parts = "".join('--b\r\nContent-Type: text/plain\r\nContent-Disposition: attachment; filename="same.txt"\r\n\r\nx\r\n'
                for _ in range(8000))
open(sys.argv[1], "w", newline="").write('Content-Type: multipart/mixed; boundary="b"\r\n\r\n' + parts + "--b--\r\n")
PY
start=$SECONDS
"$CORVID" mime extract "$scratch/same.eml" "$scratch/same" > "$scratch/list" || fail "extract: same names"
checks=$((checks + 1))
[ $((SECONDS - start)) -le 30 ] || fail "extract of 8000 same names took $((SECONDS - start)) s"
expect_output 8000 bash -c "ls '$scratch/same' | wc -l"
expect_output "$scratch/same/same-8000.txt" tail -n 1 "$scratch/list"

# C1 controls and bidirectional marks stay out of file names.
printf 'Content-Type: text/plain\r\nContent-Disposition: attachment; filename="%s"\r\n\r\nx\r\n' \
  '=?utf-8?q?a=C2=85b=C2=9Bc=E2=80=AEtxt.exe?=' > "$scratch/bidi.eml"
expect_output "$scratch/bidi/a_b_c_txt.exe" "$CORVID" mime extract "$scratch/bidi.eml" "$scratch/bidi"

# A write that fails (here: over the file size limit) is reported, and no
# cut-short file stays behind.
"$CORVID_PYTHON" - "$scratch/big.eml" <<'PY'
import sys
open(sys.argv[1], "w", newline="").write(
    'Content-Type: text/plain\r\nContent-Disposition: attachment; filename="big.txt"\r\n\r\n' + "x" * 100000 + "\r\n")
PY
mkdir "$scratch/big"
expect_failure bash -c 'trap "" XFSZ; ulimit -f 8; exec "$0" mime extract "$1" "$2"' "$CORVID" "$scratch/big.eml" "$scratch/big"
expect_output 0 bash -c "ls -A '$scratch/big' | wc -l"

finish
