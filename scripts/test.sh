#!/usr/bin/env bash
# Builds and runs the whole test suite of both editions, headless: the Linux
# edition with a throwaway home and a private session bus for the
# address-book service, then the Windows edition under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh
install_deps
cmake --preset debug >/dev/null
cmake --build --preset debug

home="$(mktemp -d)"
trap 'rm -rf "$home"' EXIT
env -i PATH="$PATH" HOME="$home" XDG_RUNTIME_DIR="$home" LANG=C.UTF-8 QT_QPA_PLATFORM=offscreen \
  dbus-run-session -- ctest --preset debug -j2 "$@"
bash scripts/test-windows.sh
