#!/usr/bin/env bash
# Builds the release benchmarks and runs them all, headless, inside a private
# session bus with a throwaway home; writes bench/results/ (results.md,
# results.csv, request-latency.png). About ten minutes on two cores.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh
source bench/common.sh
install_deps

# Only for the benchmarks: the comparison lister, the plot, ss and ps.
bench_packages=(khard gnuplot-nox iproute2 procps python3)
missing=()
for package in "${bench_packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
done
if ((${#missing[@]})); then
  as_root() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }
  as_root env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=300 update -qq
  as_root env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=300 install -y -qq \
    --no-install-recommends "${missing[@]}"
fi

cmake --preset bench >/dev/null
cmake --build --preset bench

build="$PWD/build/bench"
results="$PWD/bench/results"
mkdir -p "$results" "$build/books"
raw="$build/raw.csv"

wait_for_quiet

home="$(mktemp -d)"
trap 'rm -rf "$home"' EXIT
env -i PATH="$PATH" HOME="$home" XDG_RUNTIME_DIR="$home" LANG=C.UTF-8 QT_QPA_PLATFORM=offscreen \
  QT_LOGGING_RULES='qt.qpa.*=false' \
  dbus-run-session -- bash bench/run_all.sh "$raw" "$build/books" "$build"

load_after=$(cut -d' ' -f1-3 /proc/loadavg)
{
  echo "$(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')"
  echo "$(awk '/^MemTotal:/ { printf "%.1f GiB RAM", $2 / 1048576 }' /proc/meminfo)"
  echo "Debian $(cat /etc/debian_version), Linux $(uname -r)"
  echo "Qt $(dpkg-query -W -f='${Version}' libqt6core6), libebook-contacts $(dpkg-query -W -f='${Version}' libebook-contacts-1.2-4), khard $(dpkg-query -W -f='${Version}' khard)"
  echo "load average $load_before before, $load_after after"
  echo "run $(date -u '+%Y-%m-%d %H:%M UTC')"
} >"$build/machine.txt"

/usr/bin/python3 bench/aggregate.py "$raw" "$build/machine.txt" "$results" README.md >/dev/null
gnuplot -e "dat='$results/request-latency.dat'; out='$results/request-latency.png'" bench/plot.gp
echo "Results: $results/results.md"
