#!/usr/bin/env bash
# The reliability suite: builds the release program and attacks it as a fax
# server and a careless address book would (a flood, connection storms,
# resetting peers, hostile address books, peers that are not on the list of
# fax servers). It runs the real program under Xvfb, with xdotool as the
# user, in a private network and process namespace of its own, so port 5555
# is private and everything it starts ends with it. Prints a table of what
# held, with figures, and writes it to bench/results/reliability.md.
#   bash scripts/reliability.sh          # every scenario, a few minutes
#   bash scripts/reliability.sh 1 4a     # only those scenarios (not written to the results)
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh
install_deps
if [ "$(id -u)" -eq 0 ]; then as_root=(); else as_root=(sudo); fi

# Only for this suite: the user's hands and the driver.
suite_packages=(xdotool python3 iproute2 util-linux xvfb)
missing=()
for package in "${suite_packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
done
if ((${#missing[@]})); then
  "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=300 install -y -qq \
    --no-install-recommends "${missing[@]}"
fi

cmake --preset release >/dev/null
cmake --build --preset release

program="$PWD/build/release/src/qt/corvane-tesk"
books="$PWD/build/release/reliability-books"
results="$PWD/bench/results"
table="$(mktemp)"
trap 'rm -f "$table"' EXIT
mkdir -p "$books" "$results"
[ -s "$books/empty-64mib.vcf" ] || /usr/bin/python3 fuzz/make_hostile_books.py "$books"

load_before=$(cut -d' ' -f1-3 /proc/loadavg)
started=$(date +%s)
status=0
# --pid with --kill-child: when the driver ends, however it ends, the kernel
# ends every process left in its namespace (the program, Xvfb).
"${as_root[@]}" unshare --net --pid --fork --kill-child --mount-proc \
  sh -c 'ip link set lo up && exec /usr/bin/python3 "$@"' sh \
  bench/reliability/reliability.py "$program" "$books" "$table" "$@" || status=$?
seconds=$(($(date +%s) - started))
load_after=$(cut -d' ' -f1-3 /proc/loadavg)

machine="$(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//'); \
load averages $load_before before, $load_after after; $seconds s; $(git rev-parse --short HEAD)"
echo
echo "$machine"
if [ $# -eq 0 ] && [ -s "$table" ]; then
  {
    echo "# Reliability"
    echo
    echo "\`bash scripts/reliability.sh\` on $(date -u +%Y-%m-%d): $machine."
    echo
    cat "$table"
    echo
    echo "Figures from one run on a shared machine; times are wall-clock, RSS from /proc/PID/status."
  } >"$results/reliability.md"
  echo "written to bench/results/reliability.md"
fi
exit "$status"
