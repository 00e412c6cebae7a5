#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The bash completion, loaded into bash as bash-completion loads it,
# completes what a user types: subcommands, options, codec and charset
# names, file names. Argument: the completion script.
source "$(dirname "$0")/../tools/lib.sh"
# shellcheck disable=SC1090
source "$1"
# The completion runs "corvid" as typed, so the tool under test comes first.
mkdir "$scratch/bin"
ln -s "$CORVID" "$scratch/bin/corvid"
PATH="$scratch/bin:$PATH"

# expect_completion LINE EXPECTED: the sorted completions at the end of LINE
# (a trailing blank starts a new word), as bash would call the function.
expect_completion() {
  checks=$((checks + 1))
  local line=$1 expected=$2
  read -ra COMP_WORDS <<< "$line"
  [[ "$line" == *" " ]] && COMP_WORDS+=("")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMP_LINE=$line
  COMP_POINT=${#line}
  COMPREPLY=()
  _corvid corvid "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
  local got
  got=$(printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' ')
  [ "${got% }" = "$expected" ] || fail "'$line<TAB>': expected '$expected', got '${got% }'"
}

checks=$((checks + 1))
[ "$(complete -p corvid)" = "complete -F _corvid corvid" ] || fail "not registered: $(complete -p corvid 2>&1)"

mkdir "$scratch/work"
cd "$scratch/work" || exit 1
touch report.eml report.txt
mkdir parts
expect_completion "corvid m" "md5 mime"
expect_completion "corvid encode " "base64 hex qp url uu"
expect_completion "corvid decode --strict " "base64 hex qp url uu"
expect_completion "corvid encode base64 rep" "report.eml report.txt"
expect_completion "corvid mime " "compose extract rewrite tree"
expect_completion "corvid mime tree --" "--help --names"
expect_completion "corvid mime extract report.eml " "parts"
expect_completion "corvid smtp serve --max-s" "--max-sessions --max-size"
expect_completion "corvid smtp serve --maildir pa" "parts"
expect_completion "corvid smtp serve --hostname " ""
expect_completion "corvid convert --from UTF-16" "UTF-16 UTF-16BE UTF-16LE"
expect_completion "corvid convert --from UTF-8 --to windows-125" \
  "windows-1250 windows-1251 windows-1252 windows-1253 windows-1254 windows-1255 windows-1256 windows-1257 windows-1258"
expect_completion "corvid charset ISO-8859-1" "ISO-8859-1 ISO-8859-10 ISO-8859-13 ISO-8859-14 ISO-8859-15 ISO-8859-16"
expect_completion "corvid send --tls " "implicit none starttls"
expect_completion "corvid --v" "--version"

# Every charset offered is one that convert takes.
for charset in $_corvid_charsets; do
  checks=$((checks + 1))
  "$CORVID" convert --from "$charset" --to UTF-8 < /dev/null > /dev/null 2> "$scratch/err" ||
    fail "completion offers $charset, which convert refuses: $(cat "$scratch/err")"
done

finish
