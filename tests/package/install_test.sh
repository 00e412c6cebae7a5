#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The three Debian packages as a user gets them: they install with dpkg -i,
# the programs, manual pages and completion work from the system, an
# application builds against the installed library with CMake and with
# pkg-config, and dpkg -r takes every file away again.
# Argument: the folder with the .deb files. Needs root; skips (77) without.
source "$(dirname "$0")/../tools/lib.sh"
folder=$1
consumer="$(cd "$(dirname "$0")/../find_package/consumer" && pwd)"
[ "$(id -u)" -eq 0 ] || { echo "SKIP: installing packages needs root"; exit 77; }

packages=(libcorvid-dev corvid-tools post)
debs=()
for package in "${packages[@]}"; do
  found=("$folder/${package}"_*.deb)
  [ -f "${found[0]}" ] || { echo "FAIL: no $package package in $folder" >&2; exit 1; }
  debs+=("${found[0]}")
done

installed() { dpkg-query -W -f='${Status}' "$1" 2> /dev/null | grep -q 'install ok installed'; }
remove_all() {
  local present=()
  for package in "${packages[@]}"; do installed "$package" && present+=("$package"); done
  [ ${#present[@]} -eq 0 ] || dpkg -r "${present[@]}" > "$scratch/remove.log" 2>&1
}
# What an earlier run left behind goes first, and this run's packages go
# whatever happens.
remove_all || true
trap 'remove_all; rm -rf "$scratch"' EXIT

# The dependencies that dpkg-shlibdeps found, and the hand-written ones.
checks=$((checks + 1))
for deb in "${debs[@]}"; do
  depends=$(dpkg-deb -f "$deb" Depends)
  case "$deb" in
    */libcorvid-dev_*) want='libicu-dev.*libssl-dev' ;;
    */corvid-tools_*) want='libc6.*libicu.*libssl3' ;;
    */post_*) want='libgtk-3-0' ;;
  esac
  [[ "$depends" =~ $want ]] || fail "$(basename "$deb"): Depends '$depends' lacks $want"
done

checks=$((checks + 1))
if ! timeout 120 dpkg -i "${debs[@]}" > "$scratch/install.log" 2>&1; then
  echo "FAIL: dpkg -i: $(cat "$scratch/install.log")" >&2
  exit 1
fi

version=$(dpkg-deb -f "${debs[1]}" Version)
expect_output "corvid $version" /usr/bin/corvid --version
expect_output "post $version" sh -c '/usr/bin/post --version | head -n 1'
mkdir "$scratch/installer"
checks=$((checks + 1))
# Exit code 0 from the installer: nothing to report, and exit status 0.
(cd "$scratch/installer" && POST_UI=none /usr/bin/post 0) || fail "post 0 exited $?"

for page in corvid post; do
  expect_output "/usr/share/man/man1/$page.1.gz" man -w "$page"
  expect_match "^$(tr a-z A-Z <<< "$page")\(1\)" sh -c "MANWIDTH=80 man $page 2> /dev/null | head -n 1"
done

checks=$((checks + 1))
got=$(bash -c 'source /usr/share/bash-completion/completions/corvid
  COMP_WORDS=(corvid m); COMP_CWORD=1; _corvid; echo "${COMPREPLY[*]}"')
[ "$got" = "md5 mime" ] || fail "installed completion of 'corvid m': '$got'"

if command -v systemd-analyze > /dev/null; then
  checks=$((checks + 1))
  systemd-analyze verify /usr/lib/systemd/system/corvid-smtp.socket /usr/lib/systemd/system/corvid-smtp.service \
    > "$scratch/verify" 2>&1 || fail "systemd-analyze verify: $(cat "$scratch/verify")"
fi

# An application finds the library as CMake's find_package and as
# pkg-config see the system, with no paths given.
checks=$((checks + 1))
if cmake -S "$consumer" -B "$scratch/cmake-build" > "$scratch/cmake.log" 2>&1 &&
   cmake --build "$scratch/cmake-build" >> "$scratch/cmake.log" 2>&1; then
  expect_output "consumer ok" "$scratch/cmake-build/consumer"
else
  fail "consumer with find_package: $(tail -n 20 "$scratch/cmake.log")"
fi
checks=$((checks + 1))
# shellcheck disable=SC2046
if g++ -std=c++20 -o "$scratch/pc-consumer" "$consumer/main.cpp" $(pkg-config --cflags --libs corvid) \
    > "$scratch/pc.log" 2>&1; then
  expect_output "consumer ok" "$scratch/pc-consumer"
else
  fail "consumer with pkg-config: $(tail -n 20 "$scratch/pc.log")"
fi

# Removing leaves none of their files behind.
checks=$((checks + 1))
files=()
for deb in "${debs[@]}"; do
  while read -r path; do files+=("$path"); done < <(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print substr($6, 2) }')
done
if remove_all; then
  for path in "${files[@]}"; do [ -e "$path" ] && fail "left after dpkg -r: $path"; done
  for package in "${packages[@]}"; do installed "$package" && fail "$package still installed"; done
else
  fail "dpkg -r: $(cat "$scratch/remove.log")"
fi

finish
