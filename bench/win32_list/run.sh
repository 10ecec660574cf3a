#!/usr/bin/env bash
# Times ways of filling the dialog's list box under Wine, on a private X
# display in a throwaway Wine prefix; leaves nothing running.
#   bench/win32_list/run.sh [RUNS] [ENTRIES]
set -euo pipefail
cd "$(dirname "$0")/../.."
cmake --preset windows >/dev/null
cmake --build --preset windows --target bench_list_fill >/dev/null
source scripts/wine-session.sh
wine_session_prefix
trap wine_session_end EXIT
wine_session_display
wineboot -i >/dev/null 2>&1
wineserver -w
# One Wine server for the run, detached: it would hold the output open.
setsid wineserver -p </dev/null >/dev/null 2>&1 &
echo "load average $(cut -d' ' -f1-3 /proc/loadavg), $(date -u '+%Y-%m-%d %H:%M UTC')"
wine build/windows/bench/win32_list/bench_list_fill.exe "${1:-3}" "${2:-32766}" </dev/null >"$scratch/out" 2>&1 || true
tr -d '\r' <"$scratch/out"
