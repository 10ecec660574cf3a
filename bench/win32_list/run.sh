#!/usr/bin/env bash
# Times ways of filling the dialog's list box under Wine, on a private X
# display in a throwaway Wine prefix; leaves nothing running.
#   bench/win32_list/run.sh [RUNS] [ENTRIES]
set -euo pipefail
cd "$(dirname "$0")/../.."
cmake --preset windows >/dev/null
cmake --build --preset windows --target bench_list_fill >/dev/null
scratch=$(mktemp -d)
export WINEPREFIX="$scratch/prefix" WINEARCH=win64 WINEDEBUG=-all
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree,mshtml="
xvfb=
cleanup() {
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
  [[ -n "$xvfb" ]] && kill "$xvfb" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$scratch"
}
trap cleanup EXIT
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$scratch/display" 2>/dev/null &
xvfb=$!
deadline=$((SECONDS + 30))
until [[ -s "$scratch/display" ]]; do
  ((SECONDS < deadline)) || { echo "Xvfb did not start" >&2; exit 1; }
  sleep 0.05
done
export DISPLAY=":$(head -n1 "$scratch/display")"
wineboot -i >/dev/null 2>&1
wineserver -w
# One Wine server for the run, detached: it would hold the output open.
setsid wineserver -p </dev/null >/dev/null 2>&1 &
echo "load average $(cut -d' ' -f1-3 /proc/loadavg), $(date -u '+%Y-%m-%d %H:%M UTC')"
wine build/windows/bench/win32_list/bench_list_fill.exe "${1:-3}" "${2:-32766}" </dev/null >"$scratch/out" 2>&1 || true
tr -d '\r' <"$scratch/out"
