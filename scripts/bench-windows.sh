#!/usr/bin/env bash
# The Outlook store's listing under Wine against the Outlook stand-in, in and
# out of process, in a throwaway Wine prefix. Writes the raw figures to
# bench/results/windows.tsv; bench/results/windows.md describes them.
#   scripts/bench-windows.sh [RUNS]
# A listing out of process costs tens of milliseconds a contact under Wine,
# so there 5,000 contacts are listed once and 32,766 not at all (see the
# results for the estimate).
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-3}
cmake --preset windows >/dev/null
cmake --build --preset windows --target bench_outlook >/dev/null

export WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree,mshtml="
WINEPREFIX=$(mktemp -d /tmp/corvane-bench-wine.XXXXXX)
export WINEPREFIX
trap 'wineserver -k 2>/dev/null || true; rm -rf "$WINEPREFIX"' EXIT
wineboot -i >/dev/null 2>&1
# One Wine server for the whole run, detached from this script's output.
setsid wineserver -p </dev/null >/dev/null 2>&1 &

bench=build/windows/outlook-standin/bench_outlook.exe
out=bench/results/windows.tsv
{
  wine "$bench" "$runs" in-process 100 5000 32766
  wine "$bench" "$runs" out-of-process 100 | tail -n +2
  wine "$bench" 1 out-of-process 5000 | tail -n +2
} </dev/null 2>&1 | tr -d '\r' | tee "$out"
