#!/usr/bin/env bash
# Builds the whole test suite under AddressSanitizer and
# UndefinedBehaviorSanitizer (preset "asan": any finding ends the test that
# made it) and runs it as scripts/test.sh does: headless, with a throwaway
# home and a private session bus. Leaks are reported too, except those
# inside the libraries named in scripts/lsan.supp.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh
install_deps
cmake --preset asan >/dev/null
cmake --build --preset asan

home="$(mktemp -d)"
trap 'rm -rf "$home"' EXIT
env -i PATH="$PATH" HOME="$home" XDG_RUNTIME_DIR="$home" LANG=C.UTF-8 QT_QPA_PLATFORM=offscreen \
  ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1" \
  UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
  LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0" \
  G_SLICE=always-malloc G_DEBUG=gc-friendly \
  dbus-run-session -- ctest --preset asan -j2 "$@"
