#!/usr/bin/env bash
# Puts the Outlook stand-in (tests/win32/outlook_standin) in Outlook's place
# in the Wine prefix $WINEPREFIX, for tests of the Windows edition that need
# Outlook, or takes it away to show Outlook missing.
#   scripts/register-outlook-standin.sh out-of-process|in-process|remove [CONTACTS-FILE]
# CONTACTS-FILE is a Linux path to a file in the stand-in's format
# (tests/win32/outlook_standin/standin_objects.h), e.g. one line a contact:
#   40<TAB>Smith<TAB>Ann<TAB>Acme<TAB>+49 30 1234<TAB><TAB>
# The stand-in reads it again whenever it changes. The Windows build is looked
# for in $CORVANE_WINDOWS_BUILD, else build/windows.
set -euo pipefail
: "${WINEPREFIX:?set WINEPREFIX to the prefix to register the stand-in in}"
here="$(cd "$(dirname "$0")" && pwd)"
build=${CORVANE_WINDOWS_BUILD:-$here/../build/windows}
tool="$build/outlook-standin/register_outlook_standin.exe"
[ -f "$tool" ] || { echo "register-outlook-standin: $tool is not built" >&2; exit 1; }
args=("${1:?usage: register-outlook-standin.sh out-of-process|in-process|remove [CONTACTS-FILE]}")
if [ $# -ge 2 ]; then
  args+=("$(winepath -w "$(realpath "$2")" | tr -d '\r')")
fi
wine "$tool" "${args[@]}" </dev/null
