#!/usr/bin/env bash
# The real program under Wine, end to end: fax servers connect from Linux to
# port 5555, a driver in the same Wine prefix does what the user does, the
# Outlook stand-in serves the contacts.
#   run_e2e.sh session|port-taken|no-outlook|logoff BUILD_DIR
# Port 5555 is the program's own, so this runs only inside the private
# network namespace that scripts/test-windows.sh makes (CORVANE_PRIVATE_NET=1),
# with WINEPREFIX, DISPLAY and a tray host set up there; elsewhere it skips.
# CORVANE_SCREENSHOT=FILE.png saves the dialog of the first request.
set -euo pipefail
scenario=$1
build=$(cd "$2" && pwd)
if [[ "${CORVANE_PRIVATE_NET:-}" != 1 ]]; then
  echo "skipped: needs the private network of scripts/test-windows.sh"
  exit 77
fi

port=5555
work=$(mktemp -d)
program=
holder=
cleanup() {
  [[ -n "$program" ]] && kill "$program" 2>/dev/null || true
  [[ -n "$holder" ]] && kill "$holder" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

fail() { echo "FAILED: $*" >&2; exit 1; }
driver() { wine "$build/tests/win32/tesk_driver.exe" "$@"; }
standin() { wine "$build/outlook-standin/register_outlook_standin.exe" "$@"; }

# Polls with a deadline; never a fixed sleep.
wait_until() { # seconds command...
  local deadline=$((SECONDS + $1)); shift
  until "$@"; do
    ((SECONDS < deadline)) || return 1
    sleep 0.05
  done
}
listening() { [[ -n "$(ss -ltnH "sport = :$port")" ]]; }
not_listening() { ! listening; }
program_ended() { ! kill -0 "$program" 2>/dev/null; }
# Wine's icons in the tray host's panel.
tray_icons() {
  local panel
  panel=$(xwininfo -root -tree | awk '/\("panel" "trayer"\)/ {print $1; exit}')
  [[ -n "$panel" ]] || { echo 0; return; }
  xwininfo -id "$panel" -tree | grep -c '"explorer.exe"' || true
}
docked() { [[ "$(tray_icons)" -ge 1 ]]; }
undocked() { [[ "$(tray_icons)" -eq 0 ]]; }

start_program() {
  wine "$build/src/win32/corvane-tesk.exe" </dev/null >"$work/program.log" 2>&1 &
  program=$!
}

# A fax server: connects, then keeps what arrives until the program closes.
peer() { # name [address]
  ( exec 3<>"/dev/tcp/${2:-127.0.0.1}/$port" || exit 3
    timeout 60 cat <&3 >"$work/$1.out" ) &
  eval "peer_$1=$!"
}
peer_done() { # name expected-bytes (printf format)
  local pid_var="peer_$1"
  wait "${!pid_var}" || fail "fax server $1 saw no orderly end"
  printf "$2" | cmp - "$work/$1.out" || fail "fax server $1 got $(od -c "$work/$1.out")"
}
refused() { ! (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; }

expect_box() { # expected "TITLE|TEXT|ICON|BUTTONS" answer
  local got
  got=$(driver box "$2") || fail "no message box (wanted $1)"
  [[ "$got" == "$1" ]] || fail "box: got '$got', wanted '$1'"
}

contacts() {
  printf '40\tZander\tPaul\t\t089 5555\n'
  printf '40\tAdler\tEva\t\t030 111\t030 222\t030 333\n'
  printf '69\tTeam\t\t\t\t\t\n'
  printf '40\t\t\tM\xc3\xbcller GmbH\t0711 12-34\n'
}

closing='Corvane Tesk|Corvane Tesk is closing.  You need to restart the program in order to send faxes.|icon|OK'

case "$scenario" in
session)
  contacts >"$work/contacts.tsv"
  standin out-of-process "$(winepath -w "$work/contacts.tsv")"
  start_program
  wait_until 60 listening || fail "the program does not listen on $port"
  wait_until 30 docked || fail "no tray icon in the panel"

  # A typed number.
  peer one
  driver wait-dialog || fail "no dialog for the first request"
  printf 'Adler, Eva\nM\xc3\xbcller GmbH - ()\nZander, Paul\n' | cmp - <(driver list) || fail "list: $(driver list)"
  if [[ -n "${CORVANE_SCREENSHOT:-}" ]]; then
    geometry=$(xwininfo -name "Send a fax - Corvane Tesk" | awk '/Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {y=$NF} /Width/ {w=$NF} /Height/ {h=$NF} END {print w "x" h "+" x "+" y}')
    import -window root -crop "$geometry" +repage "$CORVANE_SCREENSHOT"
  fi
  driver tab 0
  driver type '030 1234-5'
  driver click btn_send
  question=$(driver box OK) || fail "no confirmation box"
  [[ "$question" == "Fax transmission!|"*"03012345"*"|none|OK,Cancel" ]] || fail "confirmation: $question"
  peer_done one '03012345\r\n \r\n \r\n \r\n'
  driver wait-hidden || fail "the dialog stays after the reply"

  # A chosen contact; meanwhile a second fax server is refused.
  wait_until 30 listening || fail "not listening again"
  peer two
  driver wait-dialog || fail "no dialog for the second request"
  driver list >/dev/null
  refused || fail "a second fax server got in during a session"
  driver tab 1
  driver choose 'Adler, Eva'
  driver combo 1
  driver click btn_send
  question=$(driver box OK) || fail "no confirmation box"
  [[ "$question" == "Fax transmission!|"*"Adler, Eva"*"030222"*"|none|OK,Cancel" ]] || fail "confirmation: $question"
  peer_done two '030222\r\n \r\nAdler, Eva\r\n \r\n'

  # Cancel sends nothing.
  wait_until 30 listening || fail "not listening after the second request"
  peer three
  driver wait-dialog || fail "no dialog for the third request"
  driver list >/dev/null
  driver click btn_cancel
  peer_done three ''
  wait_until 30 listening || fail "not listening after Cancel"

  # The tray menu's item ends the program, with the icon.
  driver tray-exit || fail "no tray menu"
  expect_box "$closing" OK
  wait_until 30 program_ended || fail "the program does not end"
  wait_until 30 undocked || fail "the tray icon stays"
  ;;
port-taken)
  standin out-of-process "$(winepath -w /dev/null)"
  wine "$build/tests/win32/tesk_driver.exe" hold-port "$port" </dev/null >/dev/null 2>&1 &
  holder=$!
  wait_until 30 listening || fail "could not take the port"
  start_program
  expect_box "Error binding listening port|Some other program may be binding port $port."$'\r\n'"Please clear this port and try again.|icon|OK" OK
  expect_box "$closing" OK
  wait_until 30 program_ended || fail "the program does not end"
  ;;
no-outlook)
  standin remove
  start_program
  expect_box 'Outlook error|Microsoft Outlook was not detected on your PC.|icon|OK' OK
  not_listening || fail "listening without Outlook"
  expect_box "$closing" OK
  wait_until 30 program_ended || fail "the program does not end"
  not_listening || fail "listening without Outlook"
  ;;
logoff)
  contacts >"$work/contacts.tsv"
  standin out-of-process "$(winepath -w "$work/contacts.tsv")"
  CORVANE_TESK_FAX_SERVERS='192.0.2.1 ::1' start_program
  wait_until 60 listening || fail "the program does not listen on $port"
  wait_until 30 docked || fail "no tray icon in the panel"

  # Not on the list: a reset, never the orderly end that reads as a cancel.
  peer stranger
  if wait "$peer_stranger"; then fail "an unlisted fax server saw an orderly end"; fi
  [[ ! -s "$work/stranger.out" ]] || fail "an unlisted fax server got $(od -c "$work/stranger.out")"
  wait_until 30 listening || fail "not listening after the refusal"

  # A listed one asks; then the desktop session ends: its request is closed
  # without data, the icon goes and the program ends without a box.
  peer listed ::1
  driver wait-dialog || fail "no dialog for the listed fax server"
  driver list >/dev/null
  driver end-session || fail "the program did not take the end of the session"
  peer_done listed ''
  wait_until 30 program_ended || fail "the program does not end at logoff"
  wait_until 30 undocked || fail "the tray icon stays after logoff"
  ;;
*)
  echo "unknown scenario $scenario" >&2
  exit 2
  ;;
esac
echo "passed: $scenario"
