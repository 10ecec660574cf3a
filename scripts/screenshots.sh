#!/usr/bin/env bash
# Starts the program under Xvfb with a tray host and a small sample address
# book, plays a fax server that connects, and saves a screenshot of each of
# the dialog's pages to docs/. Needs: xvfb trayer xdotool imagemagick
# x11-utils iproute2.
set -euo pipefail
cd "$(dirname "$0")/.."
program="${1:-build/release/src/qt/corvane-tesk}"
out=docs
work="$(mktemp -d)"
display=:97
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/contacts"
cp data/sample-contacts.vcf "$work/contacts/"

Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
export DISPLAY=$display
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
trayer --edge top --align right --widthtype request --height 24 --transparent false --tint 0x303040 >/dev/null 2>&1 &
pids+=($!)
sleep 1

# Looks without connecting: a connection would be a fax server's request.
listening() { ss -Hltn 'sport = :5555' | grep -q .; }
! listening || { echo "port 5555 is taken; stop the running copy first" >&2; exit 1; }

HOME="$work" CORVANE_TESK_ADDRESSBOOK="vcard:$work/contacts" QT_QPA_PLATFORM=xcb "$program" &
pids+=($!)
for _ in $(seq 100); do listening && break; sleep 0.1; done

# The fax server: connects, then waits for the answer.
exec 4<>/dev/tcp/127.0.0.1/5555
window=""
for _ in $(seq 100); do
  window="$(xdotool search --onlyvisible --name '^Send a fax - Corvane Tesk$' 2>/dev/null | head -n1 || true)"
  [ -n "$window" ] && break
  sleep 0.1
done
[ -n "$window" ] || { echo "the dialog did not appear" >&2; exit 1; }
sleep 0.5

shoot() { import -window "$window" "$out/$1.png"; }
tab() {
  # Tabs stand in one row at the top of the tab control, 2040 twips down.
  eval "$(xdotool getwindowgeometry --shell "$window")"
  xdotool mousemove $((X + $2)) $((Y + 146)) click 1
  sleep 0.4
}
tab 0 60; xdotool mousemove $((X + 300)) $((Y + 317)) click 1; xdotool type --delay 40 "(012) 345-678"
sleep 0.3; shoot page-typed-number
tab 1 215; xdotool mousemove $((X + 100)) $((Y + 195)) click 1; sleep 0.4; shoot page-address-book
tab 2 360; shoot page-about
echo "screenshots in $out/"
