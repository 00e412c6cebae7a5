#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The mail sink's units pass systemd's own check, with ExecStart pointing at
# the corvid under test. Argument: the
# folder of the configured units. Skips (77) where systemd-analyze is
# missing.
source "$(dirname "$0")/../tools/lib.sh"
units=$1
command -v systemd-analyze > /dev/null || { echo "SKIP: systemd-analyze is missing"; exit 77; }

mkdir "$scratch/units"
cp "$units/corvid-smtp.socket" "$scratch/units/"
sed -E "s|^ExecStart=[^ ]+/corvid |ExecStart=$CORVID |" "$units/corvid-smtp.service" > "$scratch/units/corvid-smtp.service"

checks=$((checks + 1))
# --man=no: the installed corvid(1) is not there yet.
if ! systemd-analyze verify --man=no "$scratch/units/corvid-smtp.socket" "$scratch/units/corvid-smtp.service" \
    > "$scratch/verify" 2>&1; then
  fail "systemd-analyze verify: $(cat "$scratch/verify")"
fi
checks=$((checks + 1))
# Warnings do not fail the check, but a unit that draws one is not right.
grep -i 'corvid-smtp' "$scratch/verify" && fail "systemd-analyze warns about the units"

finish
