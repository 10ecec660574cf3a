#!/usr/bin/env bash
# The measurements themselves; scripts/bench.sh runs this inside a private
# session bus with a throwaway home. Appends raw samples to $1 as
# "store,size,run,metric,value" (series: "store,size,run,metric,index,value").
set -euo pipefail
source "$(dirname "$0")/common.sh"
raw="$1"
books="$2"
build="$3"
sizes=(100 5000 32766)
bin="$build/bench"
: >"$raw"

note() { printf '[bench %s] %s\n' "$(date +%T)" "$*" >&2; }

# label LINES: prefixes each sample line from stdin.
label() { sed -e "s|^|$1,$2,$3,|" >>"$raw"; }

# Bounded: a stuck run ends after this long instead of holding the whole run.
window() { timeout 300 "$bin/corvane-bench-window" "$@" 2> >(grep -v -e 'does not support raise' -e 'systemTrayWindowChanged' >&2); }

note "address books: generating"
"$bin/corvane-bench-genbooks" "$books" "${sizes[@]}" >&2

note "address-book service: filling the same cards in"
for n in "${sizes[@]}"; do
  timeout 300 "$bin/corvane-bench-eds-populate" "bench-$n" "$books/folder-$n"
done

# The floor: the vCard library alone, one thread.
for n in "${sizes[@]}"; do
  note "library floor, $n contacts"
  "$bin/corvane-bench-parse-floor" "$books/folder-$n" 5 2>/dev/null | label vcard-folder "$n" 0
  "$bin/corvane-bench-parse-floor" "$books/book-$n.vcf" 5 2>/dev/null | label vcard-file "$n" 0
done

# khard lists the same folder; the first run is as cold as ours.
for n in "${sizes[@]}"; do
  runs=3
  [ "$n" -ge 30000 ] && runs=1
  conf="$HOME/khard-$n.conf"
  cat >"$conf" <<EOF
[addressbooks]
[[bench]]
path = $books/folder-$n
[general]
debug = no
default_action = list
editor = /bin/true
merge_editor = /bin/true
[contact table]
display = last_name
sort = last_name
[vcard]
skip_unparsable = yes
EOF
  for ((r = 1; r <= runs; r++)); do
    note "khard list, $n contacts, run $r"
    out="$HOME/khard.out"
    start=$EPOCHREALTIME
    cpu=$( { TIMEFORMAT='%U %S'; time timeout 300 khard -c "$conf" list >"$out" 2>/dev/null; } 2>&1 )
    end=$EPOCHREALTIME
    listed=$(($(grep -c . "$out") - 2))
    awk -v s="$start" -v e="$end" -v c="$cpu" -v l="$listed" 'BEGIN {
      split(c, t, " "); printf "khard_ms,%.3f\nkhard_cpu_ms,%.3f\nkhard_listed,%d\n", (e - s) * 1000, (t[1] + t[2]) * 1000, l }' \
      | label vcard-folder "$n" "$r"
  done
done

# The service's own CPU time, to tell its share of a listing from ours:
# "PID MS", or "0 0" while it is not running.
service_cpu() {
  local pid
  pid=$(dbus-send --session --print-reply --dest=org.freedesktop.DBus / \
    org.freedesktop.DBus.GetConnectionUnixProcessID string:org.gnome.evolution.dataserver.AddressBook10 \
    2>/dev/null | awk '/uint32/ {print $2}')
  if [ -z "$pid" ] || [ ! -r "/proc/$pid/stat" ]; then echo "0 0"; return; fi
  awk -v p="$pid" -v hz="$(getconf CLK_TCK)" '{ print p, ($14 + $15) * 1000 / hz }' "/proc/$pid/stat"
}

note "address-book service: other ways of listing, $((sizes[2])) contacts"
timeout 300 "$bin/corvane-bench-eds-listing" "bench-${sizes[2]}" 3 | label eds "${sizes[2]}" 1

# The window: each run is a new process, so its first request is cold.
for store in vcard-folder vcard-file eds; do
  for n in "${sizes[@]}"; do
    book=$(book_spec "$store" "$n" "$books")
    runs=5 warm=5
    [ "$n" -le 100 ] && warm=10
    [ "$store" = eds ] && [ "$n" -ge 30000 ] && runs=3 warm=3
    for ((r = 1; r <= runs; r++)); do
      extra=()
      if [ "$r" -eq 1 ] && [ "$n" -ge 30000 ]; then
        extra=(--select 30 --reply 10 --breakdown 3)
      fi
      note "window, $store, $n contacts, run $r"
      if [ "$store" = eds ]; then
        # The service runs already on a desktop: start it and open the book
        # (it ends itself when idle for a while).
        "$bin/corvane-bench-eds-listing" "bench-$n" 0
        service_before=$(service_cpu)
      fi
      window --book "$book" --warm "$warm" "${extra[@]}" | label "$store" "$n" "$r" \
        || note "window, $store, $n contacts, run $r: failed, its samples are missing"
      if [ "$store" = eds ] && [ ${#extra[@]} -eq 0 ]; then
        # Per request, over the cold one and the warm ones of this run.
        awk -v a="$service_before" -v b="$(service_cpu)" -v k="$((warm + 1))" 'BEGIN {
          split(a, x, " "); split(b, y, " "); used = x[1] == y[1] ? y[2] - x[2] : y[2]
          printf "service_cpu_per_request_ms,%.3f\n", used / k }' | label "$store" "$n" "$r"
      fi
    done
  done
done

note "window, 1000 sessions in a row, vcard-folder, 5000 contacts"
window --book "vcard:$books/folder-5000" --sessions 1000 | label vcard-folder 5000 sessions \
  || note "the 1000 sessions failed, their samples are missing"

# The real program: from exec to its port listening, and its idle memory.
# Polls the listening sockets only: a connection would start a session.
listening() { ss -Hltn 'sport = :5555' | grep -q .; }
if listening; then
  note "port 5555 is taken: the program's start-up is not measured"
else
  for store in vcard-folder eds; do
    book=$(book_spec "$store" 32766 "$books")
    for r in 1 2 3 4 5; do
      note "program start-up, $store, run $r"
      [ "$store" = eds ] && "$bin/corvane-bench-eds-listing" bench-32766 0
      start=$EPOCHREALTIME
      CORVANE_TESK_ADDRESSBOOK="$book" "$build/src/qt/corvane-tesk" 2>/dev/null &
      pid=$!
      up=
      for ((poll = 0; poll < 5000; poll++)); do
        if listening; then up=$EPOCHREALTIME; break; fi
        kill -0 "$pid" 2>/dev/null || break
      done
      if [ -n "$up" ]; then
        sleep 1
        rss=$(awk '/^VmRSS:/ {print $2}' "/proc/$pid/status")
        awk -v s="$start" -v e="$up" -v r="$rss" 'BEGIN { printf "startup_ms,%.3f\nprogram_rss_idle_kib,%d\n", (e - s) * 1000, r }' \
          | label "$store" 32766 "$r"
      else
        note "the program did not listen"
      fi
      kill -TERM "$pid" 2>/dev/null || true
      wait "$pid" 2>/dev/null || true
      for ((poll = 0; poll < 500; poll++)); do listening || break; sleep 0.01; done
    done
  done
fi
note "done"
