#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# corvid charset and corvid convert, driven as a user would.
source "$(dirname "$0")/lib.sh"

expected=$(printf 'UTF-8\t65001\nShift_JIS\t932\nISO-8859-1\t28591\niso-8859-15\t28605\nISO_8859-8-I\t38598\nwindows-1250\t1250\nx-unknown\t-1')
expect_output "$expected" "$CORVID" charset UTF-8 Shift_JIS ISO-8859-1 iso-8859-15 ISO_8859-8-I windows-1250 x-unknown
expect_output "$(printf 'ISO-IR-100\t1252')" "$CORVID" charset ISO-IR-100
expect_failure "$CORVID" charset

# UTF-8 to windows-1252 and back, from a file and from standard input.
printf 'caf\xc3\xa9 \xe2\x82\xac\r\nline two\n' > "$scratch/utf8.txt"
printf 'caf\xe9 \x80\r\nline two\n' > "$scratch/expected.txt"
"$CORVID" convert --from UTF-8 --to windows-1252 "$scratch/utf8.txt" > "$scratch/cp1252.txt"
expect_same_file "$scratch/cp1252.txt" "$scratch/expected.txt"
"$CORVID" convert --from cp1252 --to utf-8 < "$scratch/cp1252.txt" > "$scratch/back.txt"
expect_same_file "$scratch/back.txt" "$scratch/utf8.txt"

# Shift_JIS through ISO-2022-JP keeps the text.
printf '\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e\n' > "$scratch/ja.txt"
"$CORVID" convert --from utf-8 --to shift_jis "$scratch/ja.txt" > "$scratch/ja.sjis"
expect_output "$(printf '\x93\xfa\x96\x7b\x8c\xea')" cat "$scratch/ja.sjis"
"$CORVID" convert --from shift_jis --to iso-2022-jp "$scratch/ja.sjis" > "$scratch/ja.jis"
"$CORVID" convert --from iso-2022-jp --to utf-8 "$scratch/ja.jis" > "$scratch/ja.back"
expect_same_file "$scratch/ja.back" "$scratch/ja.txt"

# Unknown names map byte for byte only when asked; binary bytes survive.
printf '\x00\x80\xff' > "$scratch/bytes"
"$CORVID" convert --byte-mapping --from x-unknown --to x-other "$scratch/bytes" > "$scratch/bytes.out"
expect_same_file "$scratch/bytes.out" "$scratch/bytes"
expect_failure "$CORVID" convert --from x-unknown --to utf-8 "$scratch/bytes"
expect_output 'corvid convert: unknown charset "UTF-16X" (--byte-mapping takes it byte for byte)' \
    bash -c '"$0" convert --from utf-8 --to UTF-16X "$1" 2>&1 >/dev/null; true' "$CORVID" "$scratch/bytes"

# The Unicode names people type, and US-ASCII as the strict 7-bit page.
printf 'caf\xc3\xa9' > "$scratch/cafe"
for row in "UTF-16:630061006600e900" "utf-16le:630061006600e900" "UCS-2:630061006600e900" \
           "UTF-16BE:00630061006600e9" "UTF-32:630000006100000066000000e9000000" \
           "UTF-32BE:000000630000006100000066000000e9"; do
  expect_output "${row#*:}" bash -c '"$0" convert --from utf-8 --to "$1" "$2" | od -An -tx1 | tr -d " \n"' \
      "$CORVID" "${row%%:*}" "$scratch/cafe"
done
expect_failure "$CORVID" convert --from utf-8 --to us-ascii "$scratch/cafe"
expect_output "caf" "$CORVID" convert --from utf-8 --to US-ASCII <(printf caf)

# Text cut short inside a character: U+FFFD where lenient, an error where strict.
expect_output "$(printf 'a\xef\xbf\xbd')" "$CORVID" convert --from hz-gb-2312 --to utf-8 <(printf 'a~{<')
expect_failure "$CORVID" convert --from shift_jis --to utf-8 <(printf 'a\x93')
: > "$scratch/empty"
expect_output "" "$CORVID" convert --from latin --to utf-8 "$scratch/empty"

# Failures: one line on stderr naming the error, nothing on stdout.
printf '\xe4\xb8\x80' > "$scratch/cjk.txt"
expect_failure "$CORVID" convert --from utf-8 --to windows-1252 "$scratch/cjk.txt"
expect_output "corvid convert: cannot convert utf-8 to windows-1252: unicode.unmappable_character[]" \
    bash -c '"$0" convert --from utf-8 --to windows-1252 "$1" 2>&1 >/dev/null; true' "$CORVID" "$scratch/cjk.txt"
expect_failure "$CORVID" convert --from latin --to utf-8 "$scratch/utf8.txt"
expect_failure "$CORVID" convert --from utf-8 --to cp1252 "$scratch/no-such-file"
expect_failure "$CORVID" convert --to cp1252 "$scratch/utf8.txt"

finish
