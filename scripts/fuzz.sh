#!/usr/bin/env bash
# Fuzzes the vCard reader: builds the libFuzzer targets with clang under
# AddressSanitizer and UndefinedBehaviorSanitizer (preset "fuzz"), reads the
# full-size reproducers of past faults once, then runs each target for
# SECONDS (default 30) from the seed corpus in fuzz/corpus. A finding stops
# the run; libFuzzer writes the input to build/fuzz/findings/.
#   bash scripts/fuzz.sh          # CI: about 30 s a target
#   bash scripts/fuzz.sh 3600     # an hour a target
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-30}"
source scripts/common.sh
install_deps
# clang and its libFuzzer runtime.
if ! command -v clang++ >/dev/null || ! dpkg-query -W -f='${Status}' libclang-rt-14-dev 2>/dev/null | grep -q 'install ok installed'; then
  if [ "$(id -u)" -eq 0 ]; then run_as_root=(); else run_as_root=(sudo); fi
  "${run_as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends clang libclang-rt-14-dev
fi
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

build=build/fuzz
mkdir -p "$build/big" "$build/findings"
python3 fuzz/make_hostile_books.py "$build/big"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1" UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0"
export QT_QPA_PLATFORM=offscreen G_SLICE=always-malloc
for target in fuzz_vcard_parse fuzz_vcard_store; do
  echo "== $target: the full-size reproducers"
  "$build/fuzz/$target" -rss_limit_mb=4096 "$build/big"/*.vcf 2>&1 | tail -n 1
  echo "== $target: ${seconds} s"
  # New inputs go to a working corpus, never into the committed seeds.
  mkdir -p "$build/corpus/$target"
  "$build/fuzz/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096 -max_len=65536 \
    -dict=fuzz/vcard.dict -artifact_prefix="$build/findings/$target-" -print_final_stats=1 \
    "$build/corpus/$target" fuzz/corpus/vcard 2>&1 | grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb|#[0-9]+ +DONE)|ERROR|SUMMARY|property broken' || true
  # grep hides libFuzzer's exit status: a finding leaves an artifact.
  if compgen -G "$build/findings/$target-*" >/dev/null; then
    echo "$target found a fault: $(ls "$build/findings/$target-"*)" >&2
    exit 1
  fi
done
