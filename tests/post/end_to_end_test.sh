#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# post as an installer runs it, against real mail servers on 127.0.0.1:25:
# Python's aiosmtpd, corvid smtp serve and Postfix receive the report,
# Python's email package checks it, for an ANSI log, a Windows-1252 log and
# a UTF-16 log with a byte-order mark; nothing listening gives "Report not
# submitted" with a plain sentence, and the report is saved where the
# person says; the terminal dialogue runs on a real pseudo-terminal and the
# GTK dialogs on Xvfb.
#
# Port 25 is made free by running in a network namespace of the test's own
# with only the loopback; where namespaces are refused the test is skipped.
if [ -z "${CORVID_TEST_NETNS:-}" ]; then
  exec bash "$(dirname "$0")/../support/in_network_namespace.sh" bash "$0" "$@"
fi

source "$(dirname "$0")/../tools/lib.sh"
here=$(cd "$(dirname "$0")" && pwd)
python=${CORVID_PYTHON:-python3}
for tool in Xvfb twm xdotool; do
  command -v "$tool" > /dev/null || { echo "FAIL: $tool is missing (scripts/deps --test installs it)" >&2; exit 1; }
done
export LANG=C.UTF-8 LC_ALL=C.UTF-8
unset DISPLAY WAYLAND_DISPLAY POST_UI

background=()
trap 'kill "${background[@]}" 2> /dev/null; wait 2> /dev/null; rm -rf "$scratch"' EXIT

# The logs: an ANSI one (UTF-8 here) with the marker, and a UTF-16 one with
# a byte-order mark, non-ASCII text and the marker near its end.
mkdir -p "$scratch/ansi" "$scratch/utf16"
printf '%s\r\n' '=== Verbose logging started: 09.12.2026 19:00:00 ===' \
  'Action start 19:00:01: InstallFiles (Überprüfung der Dateien).' \
  'MSI (c) (A0:B4): Note: 1: 2205 2: 3: Error' \
  'Action 19:00:02: dialog SetupError: error 2755. The installer has ended prematurely.' \
  '=== Logging stopped ===' > "$scratch/ansi/install.txt"
{ printf '\xff\xfe'; printf '%s\r\n' 'Installation de « Produit » — 製品のインストール' \
    'dialog SetupError 0x1603 1721. Fin.' | iconv -f UTF-8 -t UTF-16LE; } > "$scratch/utf16/install.txt"
# An installer that wrote its log in Windows-1252, read in a UTF-8 locale.
mkdir -p "$scratch/cp1252"
printf '%s\r\n' 'Bücherei: Dateien werden kopiert' 'dialog SetupError: error 2755.' |
  iconv -f UTF-8 -t WINDOWS-1252 > "$scratch/cp1252/install.txt"
ansi_subject='Installation Error (Exit Code: 1603)(Error: 2755)'
utf16_subject='Installation Error (Exit Code: 1603)(Error: 1721)'

# run_post DIR INPUT [PROGRAM]: post 1603 in DIR with the terminal dialogue
# on pipes.
run_post() {
  (cd "$1" && printf '%s' "$2" | POST_UI=terminal timeout 90 "${3:-$POST}" 1603 > "$1/out" 2> "$1/err")
}

# expect_report MESSAGE DIR SUBJECT [--internet]: the stored MESSAGE is
# DIR's log, sent (with the headers of a message on the Internet).
expect_report() {
  checks=$((checks + 1))
  [ -f "$1" ] || { fail "no message $1 after post in $2: $(cat "$2/out" "$2/err" 2> /dev/null)"; return; }
  "$python" "$here/check_report.py" ${4:+"$4"} "$1" "$2/install.txt" "$3" > "$scratch/check" 2>&1 ||
    fail "$(cat "$scratch/check")"
}

# expect_said DIR TEXT: post's output in DIR holds TEXT.
expect_said() {
  checks=$((checks + 1))
  [[ "$(cat "$1/out")" == *"$2"* ]] || fail "post in $1 did not say '$2': $(cat "$1/out" "$1/err")"
}

# start_aiosmtpd: aiosmtpd on 127.0.0.1:25, storing into $received.
start_aiosmtpd() {
  received=$scratch/received
  mkdir -p "$received"
  timeout 250 "$python" "$here/report_server.py" "$received" > "$scratch/aiosmtpd.out" 2> "$scratch/aiosmtpd.err" &
  aiosmtpd=$!
  background+=("$aiosmtpd")
  for _ in $(seq 200); do grep -q ready "$scratch/aiosmtpd.out" && return; sleep 0.1; done
  echo "FAIL: aiosmtpd did not start: $(cat "$scratch/aiosmtpd.err")" >&2
  exit 1
}

# --- aiosmtpd receives both logs through the terminal dialogue.
start_aiosmtpd
run_post "$scratch/ansi" $'y\n' || fail "post exited $? for the ANSI log"
expect_said "$scratch/ansi" $'[error no]\n2755'
expect_said "$scratch/ansi" 'Sending the error report to 127.0.0.1...'
expect_said "$scratch/ansi" $'[Report submitted]\nThank you. The error report has been submitted.'
expect_report "$received/1.eml" "$scratch/ansi" "$ansi_subject"
checks=$((checks + 1))
[ "$(cat "$received/1.envelope")" = $'<>\nsupport@localhost' ] ||
  fail "envelope: $(cat "$received/1.envelope")"
run_post "$scratch/utf16" $'yes\n' || fail "post exited $? for the UTF-16 log"
expect_report "$received/2.eml" "$scratch/utf16" "$utf16_subject"
run_post "$scratch/cp1252" $'y\n' || fail "post exited $? for the Windows-1252 log"
expect_report "$received/3.eml" "$scratch/cp1252" "$ansi_subject"
checks=$((checks + 1))
"$python" -c 'import email, sys; m = email.message_from_binary_file(open(sys.argv[1], "rb"))
sys.exit("Bücherei" not in m.get_payload(decode=True).decode("utf-8"))' "$received/3.eml" ||
  fail "the Windows-1252 log did not arrive as Bücherei"

# --- The terminal dialogue on a pseudo-terminal: the question as written,
# "d" shows the report and asks again, "n" sends nothing, "y" sends.
pty_post() { timeout 90 "$python" "$here/pty_dialogue.py" "$POST" "$scratch/ansi" "$@" > "$scratch/ansi/out"; }
question="[Installation failed]
We're very sorry, but the installation failed. Would you like to send an error report to help resolve this problem?
Answer y (yes), n (no) or d (show the report): "
pty_post d n || fail "pty post exited $?"
expect_said "$scratch/ansi" "$question"
expect_said "$scratch/ansi" $'To: "Installation Support" <support@localhost>\nSubject: '"$ansi_subject"$'\n\n=== Verbose logging started'
checks=$((checks + 1))
[ "$(grep -cF 'Answer y (yes), n (no) or d (show the report): ' "$scratch/ansi/out")" -eq 2 ] ||
  fail "after d the question should come again: $(cat "$scratch/ansi/out")"
pty_post n || fail "pty post exited $?"
checks=$((checks + 1))
[ ! -e "$received/4.eml" ] && ! grep -q 'Sending' "$scratch/ansi/out" || fail "n sent a report"
pty_post y || fail "pty post exited $?"
expect_said "$scratch/ansi" '[Report submitted]'
expect_report "$received/4.eml" "$scratch/ansi" "$ansi_subject"

# --- The GTK dialogs on a virtual screen: each box found by its title and
# answered with a key press; the consent dialog is kept as a screenshot.
# A plain window manager draws the title bars.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3> "$scratch/display" 2> "$scratch/xvfb.err" &
background+=("$!")
for _ in $(seq 100); do [ -s "$scratch/display" ] && break; sleep 0.1; done
[ -s "$scratch/display" ] || { echo "FAIL: Xvfb did not start: $(cat "$scratch/xvfb.err")" >&2; exit 1; }
export DISPLAY=:$(cat "$scratch/display")
LC_ALL=C twm -f "$here/twmrc" 2> "$scratch/twm.err" &
background+=("$!")
shots=${CORVID_BINARY_DIR:-$scratch}
# GTK and D-Bus keep allocations until exit that a leak check would report;
# under the sanitizers only errors count for the programs that use GTK.
gtk_asan=${ASAN_OPTIONS:-}:detect_leaks=0
# gtk_post DIR: post 1603 in DIR with the GTK dialogs, in the background.
gtk_post() {
  gui_dir=$1
  (cd "$1" && NO_AT_BRIDGE=1 GSETTINGS_BACKEND=memory ASAN_OPTIONS=$gtk_asan timeout 120 "$POST" 1603 > "$1/out" 2> "$1/err") &
  gui=$!
}
gtk_post "$scratch/utf16"

# answer TITLE KEY [SHOT]: waits for the window TITLE, saves SHOT, presses KEY.
answer() {
  checks=$((checks + 1))
  local window
  window=$(timeout 30 xdotool search --sync --onlyvisible --name "^$1\$" | head -n 1)
  [ -n "$window" ] || { fail "no window '$1' appeared: $(cat "$gui_dir/err")"; return 1; }
  sleep 0.5  # let it paint before the screenshot and the key
  [ -z "${3:-}" ] || ASAN_OPTIONS=$gtk_asan "$X_SCREENSHOT" "$3" || fail "screenshot of '$1'"
  xdotool windowfocus --sync "$window" && xdotool key --clearmodifiers "$2" || fail "key $2 to '$1'"
}
# The consent dialog is shot twice, as it opens and with "Show report"
# opened (Alt+S), then answered with its Yes button's mnemonic (Alt+Y).
answer 'error no' Return &&
  answer 'Installation failed' alt+s "$shots/post_consent_dialog.png" &&
  answer 'Installation failed' alt+y "$shots/post_consent_report.png" &&
  answer 'Report submitted' Return "$shots/post_submitted_dialog.png"
wait "$gui"
status=$?
checks=$((checks + 1))
[ "$status" -eq 0 ] || fail "GTK post exited $status: $(cat "$scratch/utf16/err")"
expect_report "$received/5.eml" "$scratch/utf16" "$utf16_subject"
kill "$aiosmtpd" 2> /dev/null
wait "$aiosmtpd" 2> /dev/null
display=$DISPLAY
unset DISPLAY

# --- corvid smtp serve receives both logs into its Maildir.
mkdir -p "$scratch/mx"
(cd "$scratch/mx" && exec timeout --foreground 120 "$CORVID" smtp serve --listen 127.0.0.1:25 --hostname mx.test \
  > "$scratch/mx.out" 2> "$scratch/mx.err") &
server=$!
background+=("$server")
for _ in $(seq 200); do [ -s "$scratch/mx.out" ] && break; sleep 0.1; done
grep -q '^listening on 127.0.0.1:25$' "$scratch/mx.out" ||
  { echo "FAIL: corvid smtp serve did not start: $(cat "$scratch/mx.err")" >&2; exit 1; }
for log in ansi utf16; do
  rm -f "$scratch/mx/Maildir/new/"*
  run_post "$scratch/$log" $'y\n' || fail "post exited $? for the $log log"
  subject=${log}_subject
  expect_report "$(ls "$scratch/mx/Maildir/new/"* 2> /dev/null | head -n 1)" "$scratch/$log" "${!subject}"
done
# A post built to require TLS (trusting the CA made here) will not send to
# this server in clear text.
mkdir -p "$POST_TLS_CERTS" && bash "$here/../support/make_test_certs.sh" "$POST_TLS_CERTS" || exit 1
run_post "$scratch/ansi" $'y\n' "$POST_TLS" || fail "TLS post exited $? with a plain server"
expect_said "$scratch/ansi" 'internet.transport.connection_failed.tls_failed[the server does not offer STARTTLS]'
kill "$server"
wait "$server" 2> /dev/null

# --- With STARTTLS offered, that post sends in TLS, checking the server's
# certificate against the CA it was built to trust.
rm -f "$scratch/mx/Maildir/new/"*
(cd "$scratch/mx" && exec timeout --foreground 120 "$CORVID" smtp serve --listen 127.0.0.1:25 --hostname mx.test \
  --tls-cert "$POST_TLS_CERTS/server.pem" --tls-key "$POST_TLS_CERTS/server.key" \
  > "$scratch/mx.out" 2> "$scratch/mx.err") &
server=$!
background+=("$server")
for _ in $(seq 200); do [ -s "$scratch/mx.out" ] && break; sleep 0.1; done
run_post "$scratch/ansi" $'y\n' "$POST_TLS" || fail "TLS post exited $?"
expect_said "$scratch/ansi" '[Report submitted]'
sent=$(ls "$scratch/mx/Maildir/new/"* 2> /dev/null | head -n 1)
expect_report "$sent" "$scratch/ansi" "$ansi_subject"
checks=$((checks + 1))
head -n 1 "$sent" 2> /dev/null | grep -q ' with ESMTPS; ' || fail "not received over TLS: $(head -n 1 "$sent")"
kill "$server"
wait "$server" 2> /dev/null

# --- A mail host with only an IPv6 address: post reaches it there, and the
# server names it by its IPv6 literal.
if ip -6 addr show dev lo 2> /dev/null | grep -q '::1/128'; then
  rm -f "$scratch/mx/Maildir/new/"*
  (cd "$scratch/mx" && exec timeout --foreground 120 "$CORVID" smtp serve --listen '[::1]:25' --hostname mx.test \
    > "$scratch/mx.out" 2> "$scratch/mx.err") &
  server=$!
  background+=("$server")
  for _ in $(seq 200); do [ -s "$scratch/mx.out" ] && break; sleep 0.1; done
  run_post "$scratch/ansi" $'y\n' "$POST_IP6" || fail "IPv6 post exited $?"
  expect_said "$scratch/ansi" '[Report submitted]'
  sent=$(ls "$scratch/mx/Maildir/new/"* 2> /dev/null | head -n 1)
  expect_report "$sent" "$scratch/ansi" "$ansi_subject"
  checks=$((checks + 1))
  head -n 1 "$sent" 2> /dev/null | grep -q '(\[IPv6:::1\])' || fail "not received over IPv6: $(head -n 1 "$sent")"
  kill "$server"
  wait "$server" 2> /dev/null
else
  echo "no IPv6 loopback in the namespace: post to an IPv6-only host is not tried"
fi

# --- Debian's Postfix, strict about the greeting and the sender, receives
# the report into a Maildir. The instance is the test's own: configuration,
# queue, log and mail under scratch, listening only in this namespace.
# start_postfix: it listens on 127.0.0.1:25, or the test ends.
start_postfix() {
  local dir=$scratch/postfix
  mkdir -p "$dir/etc" "$dir/queue" "$dir/mail"
  # Delivery runs as nobody, who must reach the Maildir through scratch.
  chmod 711 "$scratch"
  chown nobody:nogroup "$dir/mail"
  # No header rewriting for any client: a header that post leaves out must
  # stay missing rather than be added on the way.
  cat > "$dir/etc/main.cf" << EOF
compatibility_level = 3.6
queue_directory = $dir/queue
data_directory = $dir/data
maillog_file = $dir/maillog
maillog_file_prefixes = $dir
myhostname = mx.test
mydestination =
alias_maps =
alias_database =
inet_interfaces = 127.0.0.1
inet_protocols = ipv4
mynetworks = 127.0.0.0/8
local_header_rewrite_clients =
smtpd_helo_required = yes
smtpd_helo_restrictions = reject_non_fqdn_helo_hostname, reject_invalid_helo_hostname
smtpd_sender_restrictions = reject_non_fqdn_sender
virtual_mailbox_domains = localhost
virtual_mailbox_base = $dir/mail
virtual_mailbox_maps = texthash:$dir/etc/mailboxes
virtual_uid_maps = static:$(id -u nobody)
virtual_gid_maps = static:$(id -g nobody)
EOF
  echo 'support@localhost support/' > "$dir/etc/mailboxes"
  # Only the services this delivery uses, none in a chroot.
  cat > "$dir/etc/master.cf" << EOF
127.0.0.1:25 inet n - n - - smtpd
cleanup unix n - n - 0 cleanup
qmgr unix n - n 300 1 qmgr
rewrite unix - - n - - trivial-rewrite
bounce unix - - n - 0 bounce
defer unix - - n - 0 bounce
trace unix - - n - 0 bounce
flush unix n - n 1000? 0 flush
error unix - - n - - error
retry unix - - n - - error
virtual unix - n n - - virtual
anvil unix - - n - 1 anvil
proxymap unix - - n - - proxymap
postlog unix-dgram n - n - 1 postlogd
EOF
  # Postfix reads a file changed within the last second again and again
  # until it is older: backdated, the start takes a fraction of a second.
  touch -d '-1 minute' "$dir/etc/main.cf" "$dir/etc/master.cf" "$dir/etc/mailboxes"
  # check makes the queue's folders. The master runs as this shell's child
  # and ends by itself after 150 seconds, should the test be killed.
  if /usr/sbin/postfix -c "$dir/etc" check > "$dir/start.err" 2>&1; then
    "$(/usr/sbin/postconf -c "$dir/etc" -h daemon_directory)/master" -c "$dir/etc" -s -e 150 \
      >> "$dir/start.err" 2>&1 &
    postfix_master=$!
    background+=("$postfix_master")
    local state
    for _ in $(seq 100); do
      ss -Hltnp 'sport = :25' | grep -qF "pid=$postfix_master," && return 0
      # A master that gave up is a zombie until waited for.
      { read -r _ _ state _ < "/proc/$postfix_master/stat"; } 2> /dev/null && [ "$state" != Z ] || break
      sleep 0.05
    done
  fi
  # The master's own fatal errors go to syslog, which the test has not: the
  # listener on the port tells the likeliest cause.
  echo "FAIL: Postfix did not start (on port 25: $(ss -Hltnp 'sport = :25')):" \
    "$(cat "$dir/start.err" "$dir/maillog" 2> /dev/null)" >&2
  exit 1
}

# stop_postfix: the master ends the processes it started; port 25 is free.
stop_postfix() {
  kill "$postfix_master" 2> /dev/null
  for _ in $(seq 100); do ss -Hltn 'sport = :25' | grep -q . || break; sleep 0.05; done
  ss -Hltn 'sport = :25' | grep -q . && kill -KILL -- "-$postfix_master" 2> /dev/null
  wait "$postfix_master" 2> /dev/null
}

# Postfix changes to users of its own, so it needs the machine's root, not
# the root of a user namespace.
if [ "$(awk '{ print $2 }' /proc/self/uid_map)" != 0 ]; then
  echo "Postfix skipped: it needs root"
elif [ ! -x /usr/sbin/postfix ]; then
  fail "postfix is missing (scripts/deps --test installs it)"
else
  postfix_start=$EPOCHREALTIME
  failed_before=$failures
  start_postfix
  run_post "$scratch/ansi" $'y\n' || fail "post exited $? with Postfix"
  expect_said "$scratch/ansi" $'[Report submitted]\nThank you. The error report has been submitted.'
  delivered=$scratch/postfix/mail/support/new/
  if grep -qF '[Report submitted]' "$scratch/ansi/out"; then
    for _ in $(seq 100); do
      sent=$(ls "$delivered"* 2> /dev/null | head -n 1)
      [ -n "$sent" ] && { delivered=$sent; break; }
      sleep 0.1
    done
  fi
  expect_report "$delivered" "$scratch/ansi" "$ansi_subject" --internet
  stop_postfix
  [ "$failures" -eq "$failed_before" ] || echo "Postfix's log: $(cat "$scratch/postfix/maillog")" >&2
  echo "Postfix: $(awk -v a="$postfix_start" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.1f", b - a }') s"
fi

# --- Nothing listens: a plain sentence over the transport's failure, the
# exit is 0, and the report can be kept as a file that reads back as the
# message that would have been sent.
mkdir -p "$scratch/saved"
pty_post y "$scratch/saved/report.eml" || fail "post exited $? with no server"
expect_said "$scratch/ansi" $'[Report not submitted]\nThe support mail server 127.0.0.1 could not be reached, or it refused the connection. The installer\'s log, install.txt, is still in its folder.\n\ninternet.transport.connection_failed.connection_refused[connect() failed]'
expect_said "$scratch/ansi" "[Report saved]"
expect_report "$scratch/saved/report.eml" "$scratch/ansi" "$ansi_subject" --internet

# The same with the GTK dialogs: "Save Report..." opens a file chooser in
# the home folder (it has no Documents folder) with the suggested name,
# which Enter takes.
export DISPLAY=$display
mkdir -p "$scratch/home"
HOME=$scratch/home gtk_post "$scratch/cp1252"
answer 'error no' Return &&
  answer 'Installation failed' alt+y &&
  answer 'Report not submitted' alt+s "$shots/post_failure_dialog.png" &&
  answer 'Save Report' Return "$shots/post_save_dialog.png" &&
  answer 'Report saved' Return
wait "$gui" || fail "GTK post exited $? with no server: $(cat "$scratch/cp1252/err")"
expect_report "$scratch/home/installation-error-report.eml" "$scratch/cp1252" "$ansi_subject" --internet

finish
