#!/usr/bin/env bash
# Builds the Windows edition and runs its tests under Wine: headless (a
# private Xvfb with a tray host), in a throwaway Wine prefix, inside a private
# network namespace so that port 5555 there belongs to the tests. Leaves
# nothing running, whatever happens.
#   scripts/test-windows.sh [ctest options]
set -euo pipefail
cd "$(dirname "$0")/.."

if [[ "${1:-}" != --inside ]]; then
  source scripts/common.sh
  install_deps
  cmake --preset windows >/dev/null
  cmake --build --preset windows
  if [[ "$(id -u)" -eq 0 ]]; then
    exec unshare --net -- bash "$0" --inside "$@"
  else
    exec unshare --user --map-root-user --net -- bash "$0" --inside "$@"
  fi
fi
shift

ip link set lo up
source scripts/wine-session.sh
wine_session_prefix
tray=
trap 'wine_session_end "$tray"' EXIT
wine_session_display

# A notification area for the program's icon to dock in.
trayer --edge bottom --align right --widthtype pixel --width 120 --heighttype pixel --height 24 \
  >/dev/null 2>&1 &
tray=$!

# A new prefix; with no window manager, unmanaged windows hide at once.
wineboot -i >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
wineserver -w
# One Wine server for all tests, and the prefix's services and desktop
# process (home of the notification area) started now, all detached: what a
# test starts first would otherwise hold CTest's output pipes open.
setsid wineserver -p </dev/null >/dev/null 2>&1 &
setsid wine build/windows/tests/win32/tesk_driver.exe wait-hidden </dev/null >/dev/null 2>&1

export CORVANE_PRIVATE_NET=1
ctest --preset windows -j2 "$@"
