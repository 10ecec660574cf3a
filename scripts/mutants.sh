#!/usr/bin/env bash
# Applies each deliberate fault of tests/mutants/faults.txt alone to a copy
# of the committed tree, rebuilds, runs the quick tests, and reports the
# faults the suite missed. A manual check: about a minute a fault.
#   scripts/mutants.sh [PATTERN]   only the faults whose description matches
set -euo pipefail
only="${1:-}"
cd "$(dirname "$0")/.."
source scripts/common.sh
install_deps
copy="$(mktemp -d /tmp/corvane-mutants.XXXXXX)"
trap 'git worktree remove --force "$copy" >/dev/null 2>&1 || rm -rf "$copy"' EXIT
git worktree add --detach "$copy" HEAD >/dev/null
cd "$copy"
cmake --preset debug >/dev/null
cmake --build --preset debug >/dev/null
home="$(mktemp -d)"
quick_tests() {
  env -i PATH="$PATH" HOME="$home" XDG_RUNTIME_DIR="$home" LANG=C.UTF-8 QT_QPA_PLATFORM=offscreen \
    ctest --preset debug -j2 -E 'eds|store_contracts|faxserver|install' >/dev/null 2>&1
}
quick_tests || { echo "the suite fails without any fault"; exit 1; }

caught=0 missed=0
while IFS=$'\t' read -r file substitution what; do
  [[ -z "$file" || "$file" == \#* ]] && continue
  [[ -n "$only" && ! "$what" =~ $only ]] && continue
  cp "$file" "$file.orig"
  perl -0pi -e "$substitution" "$file"
  if cmp -s "$file" "$file.orig"; then
    echo "NOT APPLIED  $what ($file)"
    missed=$((missed + 1))
  elif ! cmake --build --preset debug >/dev/null 2>&1; then
    echo "NOT BUILT    $what ($file)"
    missed=$((missed + 1))
  elif ! quick_tests; then
    echo "caught       $what"
    caught=$((caught + 1))
  else
    echo "MISSED       $what ($file)"
    missed=$((missed + 1))
  fi
  mv "$file.orig" "$file"
done < tests/mutants/faults.txt
cmake --build --preset debug >/dev/null
echo "$caught caught, $missed missed"
rm -rf "$home"
[ "$missed" -eq 0 ]
