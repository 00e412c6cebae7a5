#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The manual pages format without a single groff warning, and corvid(1)
# keeps up with the tool: every subcommand has its section, and every option
# that a subcommand's --help lists is described there.
# Arguments: the corvid(1) source and the configured post(1).
source "$(dirname "$0")/../tools/lib.sh"
corvid_page=$1
post_page=$2

for page in "$corvid_page" "$post_page"; do
  checks=$((checks + 1))
  warnings=$(groff -ww -z -man -t "$page" 2>&1) || fail "groff failed on $page: $warnings"
  [ -z "$warnings" ] || fail "$page: $warnings"
  checks=$((checks + 1))
  # man's own check, as a packager runs it: no warnings, and some text.
  text=$(MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2> "$scratch/man.err")
  [ -s "$scratch/man.err" ] && fail "man --warnings $page: $(cat "$scratch/man.err")"
  [ "$(wc -l <<< "$text")" -gt 40 ] || fail "$page renders to almost nothing"
done

checks=$((checks + 1))
grep -n '@[A-Z_]*@' "$post_page" && fail "post(1) holds settings the build did not fill in"
grep -q 'POST_UI' "$post_page" || fail "post(1) does not describe POST_UI"

# help_names SECTION WORD...: names listed under SECTION: in corvid WORD... --help.
help_names() {
  local section=$1; shift
  "$CORVID" "$@" --help | awk -v want="$section:" '
    /^[A-Za-z]+:$/ { on = ($0 == want); next }
    on && /^  [^ ]/ { n = split($1, names, ","); for (i = 1; i <= n; i++) print names[i] }'
}

# The page's text with roff's \- as a plain hyphen.
page_text=$(sed 's/\\-/-/g' "$corvid_page")

# check_command WORD...: a section for "corvid WORD...", naming its options;
# recurses into the subcommands.
check_command() {
  local subs
  subs=$(help_names Subcommands "$@")
  if [ -n "$subs" ]; then
    local sub
    for sub in $subs; do check_command "$@" "$sub"; done
    return
  fi
  checks=$((checks + 1))
  local section
  section=$(awk -v head=".SS \"corvid $*" '
    index($0, head) == 1 && (length($0) == length(head) || substr($0, length(head) + 1, 1) ~ /[ "]/) { on = 1; next }
    /^\.S[SH]/ { on = 0 }
    on' <<< "$page_text")
  [ -n "$section" ] || { fail "corvid(1) has no section for 'corvid $*'"; return; }
  local option
  for option in $(help_names Options "$@"); do
    case "$option" in -h | --help) continue ;; esac
    grep -q -- "$option" <<< "$section" || fail "corvid(1) does not describe 'corvid $* $option'"
  done
}
check_command

finish
