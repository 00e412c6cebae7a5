# SPDX-License-Identifier: MIT
# corvid mime tree, rewrite and extract, driven as a user would.
. "$(dirname "$0")/lib.sh"
data=$CORVID_TEST_DATA/message2
message=$data/attachments_with_unsafe_names.eml

# tree: one block per entity in pre-order, the format scripts rely on.
"$CORVID" mime tree "$message" > "$scratch/tree" 2> "$scratch/err" || fail "tree: $(cat "$scratch/err")"
checks=$((checks + 1))
blocks=$(grep -c '^[0-9]' "$scratch/tree")
[ "$blocks" -eq 7 ] || fail "tree: expected 7 entities, got $blocks"
expect_output "0 multipart/mixed charset=iso-8859-1 boundary=outer data=0 md5=d41d8cd98f00b204e9800998ecf8427e" \
  head -n 1 "$scratch/tree"
expect_output "  Subject: attachments with unsafe names" sed -n 2p "$scratch/tree"
png_md5=$("$CORVID_PYTHON" -c 'import hashlib; print(hashlib.md5(bytes(range(256))).hexdigest())')
expect_output "1 image/png charset=iso-8859-1 boundary= data=256 md5=$png_md5" \
  bash -c "grep '^1 image/png' '$scratch/tree'"

# rewrite: standard output and a file get the same bytes, and rewriting the
# result changes nothing more.
"$CORVID" mime rewrite "$message" "$scratch/once.eml" || fail "rewrite to a file"
"$CORVID" mime rewrite "$message" > "$scratch/stdout.eml" || fail "rewrite to standard output"
expect_same_file "$scratch/once.eml" "$scratch/stdout.eml"
"$CORVID" mime rewrite "$scratch/once.eml" "$scratch/twice.eml" || fail "rewrite again"
expect_same_file "$scratch/once.eml" "$scratch/twice.eml"
# The writer rewrites Content-Type headers from the fields; the entities stay.
expect_output "$(grep '^[0-9]' "$scratch/tree")" bash -c "'$CORVID' mime tree '$scratch/once.eml' | grep '^[0-9]'"

# extract: safe names, no overwriting, numbered duplicates, exact bytes.
mkdir "$scratch/parts"
echo "keep me" > "$scratch/parts/report.txt"
"$CORVID" mime extract "$message" "$scratch/parts" > "$scratch/list" 2> "$scratch/err" || fail "extract: $(cat "$scratch/err")"
expect_output "$(printf '%s\n' part-1.txt evil.txt hidden report-2.txt report-3.txt part-6.png | sed "s|^|$scratch/parts/|")" \
  cat "$scratch/list"
expect_output "keep me" cat "$scratch/parts/report.txt"
expect_output "climbs out" cat "$scratch/parts/evil.txt"
expect_output "second report" cat "$scratch/parts/report-3.txt"
expect_output "See the attached files." cat "$scratch/parts/part-1.txt"
expect_output "$png_md5" bash -c "md5sum < '$scratch/parts/part-6.png' | cut -d' ' -f1"
expect_output "evil.txt hidden part-1.txt part-6.png report-2.txt report-3.txt report.txt" \
  bash -c "cd '$scratch/parts' && echo \$(ls -A)"

# uuencoded files in a plain body come out as attachments.
printf 'Subject: uu\r\n\r\nhello\r\n' > "$scratch/uu.eml"
printf 'some bytes\000\377' > "$scratch/payload"
uuencode "$scratch/payload" 'my file.bin' | tr -d '\r' | sed 's/$/\r/' >> "$scratch/uu.eml"
expect_match '^0 multipart/mixed charset=iso-8859-1 boundary==_uue_conversion_boundary ' \
  bash -c "'$CORVID' mime tree '$scratch/uu.eml' | head -n 1"
"$CORVID" mime extract "$scratch/uu.eml" "$scratch/uu" > /dev/null || fail "extract uu"
expect_same_file "$scratch/payload" "$scratch/uu/my file.bin"

# File names in the RFC 2231 forms: sections out of order, cut inside a
# character; the part is saved under its real name and tree --names shows it.
cat > "$scratch/rfc2231.eml" <<'MESSAGE'
Content-Type: multipart/mixed; boundary*=''sep

--sep
Content-Type: application/pdf
Content-Disposition: attachment;
 filename*1*=%A9sum%C3%A9.pdf;
 filename*0*=UTF-8''r%C3
Content-Transfer-Encoding: base64

UERGIGJ5dGVz
--sep--
MESSAGE
"$CORVID" mime extract "$scratch/rfc2231.eml" "$scratch/named" > "$scratch/list" 2> "$scratch/err" ||
  fail "extract rfc2231: $(cat "$scratch/err")"
expect_output "PDF bytes" cat "$scratch/named/résumé.pdf"
expect_match ' name=résumé\.pdf$' bash -c "'$CORVID' mime tree --names '$scratch/rfc2231.eml' | grep '^1 '"
expect_match 'md5=[0-9a-f]{32}$' bash -c "'$CORVID' mime tree '$scratch/rfc2231.eml' | grep '^1 '"

# What mailers write as they stand: a raw UTF-8 file name, a header line
# that is no field (the body starts there, nothing is lost), an empty
# multipart (nothing to extract), and a broken header name never written.
printf 'Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\nContent-Type: multipart/alternative; boundary=c\r\n\r\n--b\r\nContent-Type: text/plain; name="ci\303\253le.txt"\r\n\r\nnamed\r\n--b\r\nX-Note: a\r\nthis line is text\r\n--b--\r\n' \
  > "$scratch/world.eml"
"$CORVID" mime extract "$scratch/world.eml" "$scratch/world" > "$scratch/list" 2> "$scratch/err" ||
  fail "extract world: $(cat "$scratch/err")"
expect_output "$(printf '%s\n' ciële.txt part-2.txt | sed "s|^|$scratch/world/|")" cat "$scratch/list"
expect_output "named" cat "$scratch/world/ciële.txt"
expect_output "this line is text" cat "$scratch/world/part-2.txt"
checks=$((checks + 1))
"$CORVID" mime rewrite "$scratch/world.eml" | grep -q '^this line is text' || fail "rewrite lost the body line"

# A failed rewrite leaves the file it would replace as it was.
cp "$message" "$scratch/keep.eml"
(ulimit -f 1; trap '' XFSZ; "$CORVID" mime rewrite "$message" "$scratch/keep.eml") \
  > /dev/null 2> "$scratch/err" && fail "rewrite past the file size limit succeeded"
expect_same_file "$message" "$scratch/keep.eml"

# Failures: one line on stderr, nothing on stdout.
expect_failure "$CORVID" mime tree "$scratch/missing.eml"
expect_failure "$CORVID" mime extract "$message" "$scratch/parts/report.txt/sub"
deep=$scratch/deep.eml
: > "$deep"
for i in $(seq 1 70); do printf 'Content-Type: message/rfc822\r\n\r\n' >> "$deep"; done
expect_failure "$CORVID" mime tree "$deep"
checks=$((checks + 1))
grep -q 'MIME tree depth exceeded' "$scratch/err" || fail "depth: $(cat "$scratch/err")"
finish
