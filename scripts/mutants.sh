#!/usr/bin/env bash
# Applies each deliberate fault of tests/mutants/faults.txt, one at a time, to
# a copy of the tracked files of this work tree, rebuilds, runs the tests of
# the fault's group, and reports the faults the tests missed. After each
# fault the file is put back with a fresh time, rebuilt, and the tests that
# failed are run again: they must pass before the next fault, or the run
# stops. A manual check: about a minute a fault, more for the Windows groups.
#   scripts/mutants.sh [--group G[,G...]] [PATTERN]
#       only the groups named, only the faults whose description matches
#   scripts/mutants.sh --check [--group G[,G...]] [PATTERN]
#       builds nothing: says which faults no longer apply to the code
# The copies live in build/mutants/<preset> and are kept between runs; one
# run at a time uses a copy. MUTANTS_COPIES=DIR puts them elsewhere, as for a
# second Linux run beside the first.
set -euo pipefail
{ # read whole before it runs: the file may change under a long run
cd "$(dirname "$0")/.."
root="$PWD"
faults="$root/tests/mutants/faults.txt"

# Each group: the preset that builds it and the tests that can see it.
declare -A preset=(
  [linux]=debug [stores]=debug [faxserver]=debug [dispatcher]=debug
  [windows]=windows [outlook]=windows [installer]=windows
)
declare -A tests=(
  [linux]="-E eds|store_contracts|faxserver|install|vcard|dispatcher"
  [stores]="-R vcard|eds|store_contracts"
  [faxserver]="-R faxserver"
  [dispatcher]="-R dispatcher"
  [windows]="-R ^win32_tests$"
  [outlook]="-R ^outlook_store$"
  [installer]="-R ^installer_"
)
group_order=(linux stores faxserver dispatcher windows outlook installer)

check=false groups="" only=""
while (($#)); do
  case "$1" in
  --check) check=true ;;
  --group) groups="$2"; shift ;;
  --group=*) groups="${1#--group=}" ;;
  -h | --help) sed -n '2,14p' "$0"; exit 0 ;;
  *) only="$1" ;;
  esac
  shift
done
for g in ${groups//,/ }; do
  [[ -n "${preset[$g]:-}" ]] || { echo "no group \"$g\"; the groups: ${group_order[*]}" >&2; exit 2; }
done
wanted() { [[ -z "$groups" || ",$groups," == *",$1,"* ]]; }

# The faults chosen, as lines GROUP<TAB>FILE<TAB>SUBSTITUTION<TAB>WHAT.
chosen() {
  local group file substitution what
  while IFS=$'\t' read -r group file substitution what; do
    [[ -z "$group" || "$group" == \#* ]] && continue
    if [[ -z "${preset[$group]:-}" || -z "$what" ]]; then
      echo "faults.txt: bad line for \"$file\" (group \"$group\")" >&2
      exit 2
    fi
    wanted "$group" || continue
    [[ -n "$only" && ! "$what" =~ $only ]] && continue
    printf '%s\t%s\t%s\t%s\n' "$group" "$file" "$substitution" "$what"
  done <"$faults"
}

# Applies a substitution to FILE in place; fails when perl cannot run it.
apply() { perl -0pi -e "$2" "$1" 2>/dev/null; }

if $check; then
  scratch="$(mktemp -d)"
  trap 'rm -rf "$scratch"' EXIT
  applies=0 stale=0
  while IFS=$'\t' read -r group file substitution what; do
    if [[ ! -f "$file" ]]; then
      echo "NO FILE      [$group] $what ($file)"; stale=$((stale + 1)); continue
    fi
    cp "$file" "$scratch/copy"
    if ! apply "$scratch/copy" "$substitution"; then
      echo "BAD PERL     [$group] $what ($file)"; stale=$((stale + 1))
    elif cmp -s "$file" "$scratch/copy"; then
      echo "NOT APPLIED  [$group] $what ($file)"; stale=$((stale + 1))
    else
      applies=$((applies + 1))
    fi
  done < <(chosen)
  echo "$applies apply, $stale do not"
  [ "$stale" -eq 0 ]
  exit
fi

source scripts/common.sh
install_deps
list="$(chosen)"
[[ -n "$list" ]] || { echo "no fault chosen"; exit 2; }

# A copy per preset, so that a Linux run and a Windows run may go on at once;
# only files whose content differs are written, so the build stays current.
sync_copy() {
  local copy="$1" f
  mkdir -p "$copy"
  while IFS= read -r -d '' f; do
    [[ -f "$f" ]] || continue
    if ! cmp -s "$f" "$copy/$f"; then
      mkdir -p "$copy/$(dirname "$f")"
      cp "$f" "$copy/$f"
    fi
  done < <(git ls-files -z)
  find "$copy" -path "$copy/build" -prune -o -name '*.mutant-orig' -exec rm -f {} +
}

# Runs the group's tests in the copy; extra arguments go to ctest.
home=""
run_tests() {
  local group="$1"; shift
  # shellcheck disable=SC2086 # the group's options are words
  if [[ "${preset[$group]}" == windows ]]; then
    bash scripts/test-windows.sh ${tests[$group]} --stop-on-failure "$@" </dev/null >"$log" 2>&1
  else
    env -i PATH="$PATH" HOME="$home" XDG_RUNTIME_DIR="$home" LANG=C.UTF-8 QT_QPA_PLATFORM=offscreen \
      dbus-run-session -- ctest --preset debug -j2 ${tests[$group]} --stop-on-failure "$@" </dev/null >"$log" 2>&1
  fi
}
build() { cmake --build --preset "$1" </dev/null >"$log" 2>&1; }
# The tests that failed in the last run, as ctest names them.
failed_tests() { sed -n 's/^[[:space:]]*[0-9]* - \([^ ]*\) .*/\1/p' "$log" | paste -sd, -; }

# The file under a fault, put back (with the time of now, so that it is
# rebuilt) whatever ends the run.
current=""
restore() {
  if [[ -n "$current" ]]; then
    mv "$current.mutant-orig" "$current"
    touch "$current"
    current=""
  fi
}
cleanup() {
  restore
  [[ -z "$home" ]] || rm -rf "$home"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

start=$SECONDS
declare -A caught missed
total_caught=0 total_missed=0 total_stale=0
for p in debug windows; do
  groups_here=()
  for g in "${group_order[@]}"; do
    [[ "${preset[$g]}" == "$p" ]] && grep -q "^$g"$'\t' <<<"$list" && groups_here+=("$g")
  done
  ((${#groups_here[@]})) || continue
  copies="${MUTANTS_COPIES:-$root/build/mutants}"
  copy="$copies/$p"
  log="$copies/$p.log"
  sync_copy "$copy"
  cd "$copy"
  exec 9>"$copy.lock"
  flock -n 9 || { echo "another run uses $copy" >&2; exit 2; }
  home="$(mktemp -d)"
  echo "== building the $p preset in $copy"
  cmake --preset "$p" >/dev/null
  build "$p" || { echo "the $p build fails without any fault: see $log"; exit 1; }

  for g in "${groups_here[@]}"; do
    run_tests "$g" || { echo "the $g tests fail without any fault: see $log"; exit 1; }
    caught[$g]=0 missed[$g]=0
    echo "== group $g (${tests[$g]})"
    while IFS=$'\t' read -r group file substitution what; do
      [[ "$group" == "$g" ]] || continue
      began=$SECONDS by=""
      cp -p "$file" "$file.mutant-orig"
      current="$file"
      if ! apply "$file" "$substitution" || cmp -s "$file" "$file.mutant-orig"; then
        outcome="NOT APPLIED "
      elif ! build "$p"; then
        outcome="NOT BUILT   "
      elif ! run_tests "$g"; then
        outcome="caught      " by=" by $(failed_tests)"
      else
        outcome="MISSED      "
      fi
      restore
      case "$outcome" in
      caught*)
        caught[$g]=$((caught[$g] + 1))
        # The restored file must be built, and the tests that failed pass again.
        if ! build "$p" || ! run_tests "$g" --rerun-failed; then
          echo "STOPPED: with $file restored, $(failed_tests) still fail (see $log):"
          echo "the fault \"$what\" was not undone, or these tests fail on their own;"
          echo "either way no later result could be trusted"
          exit 1
        fi ;;
      MISSED*) missed[$g]=$((missed[$g] + 1)) ;;
      *) total_stale=$((total_stale + 1)) ;;
      esac
      case "$outcome" in
      caught*) ;;
      *) build "$p" || { echo "STOPPED: with $file restored the $p build fails (see $log)"; exit 1; } ;;
      esac
      echo "$outcome [$g] $what ($file, $((SECONDS - began)) s)$by"
    done <<<"$list"
    echo "== group $g: ${caught[$g]} caught, ${missed[$g]} missed"
    total_caught=$((total_caught + caught[$g])) total_missed=$((total_missed + missed[$g]))
  done
  rm -rf "$home"; home=""
  cd "$root"
done
echo "$total_caught caught, $total_missed missed, $total_stale not applied or not built ($(((SECONDS - start) / 60)) min)"
[ "$total_missed" -eq 0 ] && [ "$total_stale" -eq 0 ]
exit
}
