#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Runs a command in a network namespace of its own, where only the loopback
# is up and no address beyond it has a route, with CORVID_TEST_NETNS=1 in
# its environment. Exits 77 (skipped) where the machine refuses a namespace.
if [ -z "${CORVID_TEST_NETNS:-}" ]; then
  isolate=(unshare -n)
  [ "$(id -u)" -eq 0 ] || isolate=(unshare -r -n)
  if ! "${isolate[@]}" true 2> /dev/null; then
    echo "SKIP: this machine refuses a private network namespace (${isolate[*]})"
    exit 77
  fi
  exec "${isolate[@]}" env CORVID_TEST_NETNS=1 bash "$0" "$@"
fi
ip link set lo up || { echo "FAIL: cannot bring the loopback up" >&2; exit 1; }
exec "$@"
