#!/usr/bin/env bash
# The Outlook store under Wine against the Outlook stand-in, in and out of
# process, in a throwaway Wine prefix: opening the folder, the first listing
# (through Outlook's table), the unchanged folder, a selection and the
# item-by-item listing, each with the calls the stand-in received. Writes the
# raw figures to bench/results/windows.tsv; bench/results/windows.md
# describes them.
#   scripts/bench-windows.sh [RUNS [BEFORE_BUILD]]
# With BEFORE_BUILD, the build folder of an earlier version (its Windows
# preset built with the bench_outlook target), that version's benchmark runs
# first in the same prefix, into bench/results/windows-before.tsv: its own
# listing in process at 100, 5,000 and 32,766 contacts and out of process at
# 100 and 1,000 (a run at 1,000 out of process takes about a minute).
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-3}
before=${2:-}
cmake --preset windows >/dev/null
cmake --build --preset windows --target bench_outlook >/dev/null

export WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree,mshtml="
WINEPREFIX=$(mktemp -d /tmp/corvane-bench-wine.XXXXXX)
export WINEPREFIX
trap 'wineserver -k 2>/dev/null || true; rm -rf "$WINEPREFIX"' EXIT
wineboot -i >/dev/null 2>&1
# One Wine server for the whole run, detached from this script's output.
setsid wineserver -p </dev/null >/dev/null 2>&1 &

if [[ -n "$before" ]]; then
  old="$before/outlook-standin/bench_outlook.exe"
  {
    wine "$old" "$runs" in-process 100 5000 32766
    wine "$old" "$runs" out-of-process 100 | tail -n +2
    wine "$old" 1 out-of-process 1000 | tail -n +2
  } </dev/null 2>&1 | tr -d '\r' | tee bench/results/windows-before.tsv
fi

bench=build/windows/outlook-standin/bench_outlook.exe
{
  wine "$bench" "$runs" in-process 100 5000 32766
  wine "$bench" "$runs" out-of-process 100 5000 32766 | tail -n +2
} </dev/null 2>&1 | tr -d '\r' | tee bench/results/windows.tsv
