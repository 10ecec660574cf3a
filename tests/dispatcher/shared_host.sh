#!/usr/bin/env bash
# A shared host, end to end: the dispatcher run directly on port 5555 of a
# private network namespace, two real local accounts each with an X server of
# their own (Xvfb) and the program on it, and a third account without one.
# xdotool plays each user. Creates the accounts and removes them however the
# test ends; everything started runs in a private process namespace and ends
# with it. Needs root.
# Usage: shared_host.sh PROGRAM DISPATCHER
set -euo pipefail

program=$(realpath "$1")
dispatcher=$(realpath "$2")
here=$(dirname "$(realpath "$0")")
skip=77

if [ "$(id -u)" -ne 0 ]; then
  echo "SKIP: needs root to create accounts and a network namespace"
  exit $skip
fi
for tool in Xvfb xdotool useradd userdel unshare ip; do
  command -v "$tool" >/dev/null || { echo "FAIL: $tool is missing (scripts/install-deps.sh installs it)"; exit 1; }
done

work=$(mktemp -d /tmp/corvane-shared-host.XXXXXX)
chmod 755 "$work"
suffix=$$
users=("ctd${suffix}a" "ctd${suffix}b" "ctd${suffix}c")
made=()
cleanup() {
  local status=$? user
  for user in "${made[@]}"; do
    pkill -KILL -u "$user" 2>/dev/null || true
    userdel "$user" 2>/dev/null || echo "could not remove account $user" >&2
  done
  rm -rf "$work"
  exit $status
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM HUP

for user in "${users[@]}"; do
  useradd --no-create-home --home-dir "$work/home-$user" --shell /usr/sbin/nologin --user-group "$user"
  made+=("$user")
  install -d -m 700 -o "$user" -g "$user" "$work/home-$user"
done
# The binaries where every account can reach them, whatever the build tree's
# permissions.
install -m 755 "$program" "$work/corvane-tesk"
install -m 755 "$dispatcher" "$work/corvane-tesk-dispatcher"

unshare --net --pid --fork --kill-child --mount-proc \
  sh -c 'ip link set lo up && exec /usr/bin/python3 "$@"' sh \
  "$here/shared_host.py" "$work" "${users[@]}"
