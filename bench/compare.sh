#!/usr/bin/env bash
# Request latency of two builds of the benchmarks, side by side in one
# sitting: the same address books, the same private session bus and
# address-book service, runs alternating between the two builds (which one
# goes first swaps from run to run), so that drift in the machine's load
# falls on both alike.
#
#   bench/compare.sh BEFORE_BUILD AFTER_BUILD OUT.md [LABEL_BEFORE LABEL_AFTER]
#
# Each BUILD is a configured and built `bench` preset folder (build/bench of
# a checkout). Writes OUT.md (the table) and OUT.csv beside it (raw samples).
set -euo pipefail
source "$(dirname "$0")/common.sh"

if [ "${1:-}" = --inside ]; then
  shift
  raw="$1" books="$2" before="$3" after="$4"
  sizes=(${CORVANE_COMPARE_SIZES:-100 5000 32766})
  note() { printf '[compare %s] %s\n' "$(date +%T)" "$*" >&2; }
  : >"$raw"

  note "address books: generating"
  "$after/bench/corvane-bench-genbooks" "$books" "${sizes[@]}" >&2
  note "address-book service: filling the same cards in"
  for n in "${sizes[@]}"; do
    timeout 300 "$after/bench/corvane-bench-eds-populate" "bench-$n" "$books/folder-$n"
  done

  # run TREE BUILD STORE SIZE RUN BOOK WARM
  run() {
    local tree="$1" build="$2" store="$3" n="$4" r="$5" book="$6" warm="$7"
    # The service runs already on a desktop: start it and open the book.
    [ "$store" = eds ] && "$after/bench/corvane-bench-eds-listing" "bench-$n" 0
    timeout 300 "$build/bench/corvane-bench-window" --book "$book" --warm "$warm" \
      2> >(grep -v -e 'does not support raise' -e 'systemTrayWindowChanged' >&2) \
      | grep -E '^(cold|warm)(_painted|_cpu)?_ms,' \
      | sed -e "s|^|$tree,$store,$n,$r,$(cut -d' ' -f1 /proc/loadavg),|" >>"$raw" \
      || note "$tree, $store, $n contacts, run $r: failed, its samples are missing"
  }

  for store in vcard-folder vcard-file eds; do
    for n in "${sizes[@]}"; do
      book=$(book_spec "$store" "$n" "$books")
      runs=${CORVANE_COMPARE_RUNS:-7} warm=10
      [ "$n" -lt 30000 ] && runs=5
      for ((r = 1; r <= runs; r++)); do
        note "$store, $n contacts, run $r"
        if ((r % 2)); then
          run before "$before" "$store" "$n" "$r" "$book" "$warm"
          run after "$after" "$store" "$n" "$r" "$book" "$warm"
        else
          run after "$after" "$store" "$n" "$r" "$book" "$warm"
          run before "$before" "$store" "$n" "$r" "$book" "$warm"
        fi
      done
    done
  done
  note "done"
  exit 0
fi

if [ $# -lt 3 ]; then
  echo "usage: $0 BEFORE_BUILD AFTER_BUILD OUT.md [LABEL_BEFORE LABEL_AFTER]" >&2
  exit 2
fi
here="$(cd "$(dirname "$0")" && pwd)"
before="$(cd "$1" && pwd)"
after="$(cd "$2" && pwd)"
out="$3"
label_before="${4:-before}"
label_after="${5:-after}"
for build in "$before" "$after"; do
  [ -x "$build/bench/corvane-bench-window" ] || { echo "no benchmarks built in $build" >&2; exit 1; }
done

wait_for_quiet

home="$(mktemp -d)"
trap 'rm -rf "$home"' EXIT
raw="${out%.md}.csv"
env -i PATH="$PATH" HOME="$home" XDG_RUNTIME_DIR="$home" LANG=C.UTF-8 QT_QPA_PLATFORM=offscreen \
  QT_LOGGING_RULES='qt.qpa.*=false' CORVANE_COMPARE_SIZES="${CORVANE_COMPARE_SIZES:-}" \
  CORVANE_COMPARE_RUNS="${CORVANE_COMPARE_RUNS:-}" \
  dbus-run-session -- bash "$here/compare.sh" --inside "$raw" "$home/books" "$before" "$after"
load_after=$(cut -d' ' -f1-3 /proc/loadavg)

machine="$(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//'); \
load average $load_before before, $load_after after; run $(date -u '+%Y-%m-%d %H:%M UTC')"
/usr/bin/python3 "$here/compare.py" "$raw" "$out" "$label_before" "$label_after" "$machine"
echo "Comparison: $out"
