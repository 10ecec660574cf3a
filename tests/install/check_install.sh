#!/usr/bin/env bash
# Installs a build tree into a throwaway folder and checks that every file
# lands where the desktop looks for it.
# Usage: check_install.sh BUILD-DIR
# Environment: CMAKE, DESKTOP_FILE_VALIDATE (default: found on PATH).
set -euo pipefail

build=${1:?usage: check_install.sh BUILD-DIR}
cmake=${CMAKE:-cmake}
validate=${DESKTOP_FILE_VALIDATE:-desktop-file-validate}

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT

# Staged with DESTDIR under the configured prefix, as a package build does, so
# that absolute destinations (/etc for a /usr prefix) stay inside the stage too.
prefix=$(sed -n 's/^CMAKE_INSTALL_PREFIX:[A-Z]*=//p' "$build/CMakeCache.txt")
prefix=${prefix%/}
DESTDIR="$stage" "$cmake" --install "$build" --prefix "${prefix:-/}" >/dev/null
root=$stage$prefix
echo "installed with DESTDIR=$stage:"
# GNUInstallDirs puts sysconfdir in /etc for these prefixes, else in PREFIX/etc.
case $prefix in
  '' | /usr) xdg=$stage/etc/xdg ;;
  *) xdg=$root/etc/xdg ;;
esac

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
rel() { echo "${1#"$stage"}"; }
need() { # FILE
  if [ -f "$1" ]; then echo "  $(rel "$1")"; else fail "missing $(rel "$1")"; fi
}
# desktop-file-validate exits 0 on warnings and on errors "fatal in the future".
validate_entry() { # FILE
  local out
  [ -f "$1" ] || return 0
  if ! out=$("$validate" "$1" 2>&1) || grep -Eq ': (error|warning): ' <<<"$out"; then
    fail "desktop-file-validate $(rel "$1"):"$'\n'"$out"
  fi
}
png_size() { # FILE -> WIDTHxHEIGHT from the IHDR chunk
  local b
  read -ra b < <(od -An -tu1 -j16 -N8 "$1")
  echo "$(((b[0] << 24) | (b[1] << 16) | (b[2] << 8) | b[3]))x$(((b[4] << 24) | (b[5] << 16) | (b[6] << 8) | b[7]))"
}

bin=$root/bin/corvane-tesk
if [ -f "$bin" ] && [ -x "$bin" ]; then echo "  $(rel "$bin")"; else fail "missing or not executable: $(rel "$bin")"; fi

# The dispatcher of shared hosts and its units, where systemd finds them.
dispatcher=$root/sbin/corvane-tesk-dispatcher
if [ -x "$dispatcher" ]; then echo "  $(rel "$dispatcher")"; else fail "missing or not executable: $(rel "$dispatcher")"; fi
need "$root/lib/systemd/system/corvane-tesk-dispatcher.socket"
need "$root/lib/systemd/system/corvane-tesk-dispatcher.service"
units=$root/lib/systemd/system
grep -qxF "ExecStart=$prefix/sbin/corvane-tesk-dispatcher" "$units/corvane-tesk-dispatcher.service" ||
  fail "the dispatcher's service does not start the installed dispatcher"
# Installed, not enabled: an administrator turns it on for a shared host.
enabled=$(systemctl --root="$stage" is-enabled corvane-tesk-dispatcher.socket 2>/dev/null || true)
[ "$enabled" = disabled ] || fail "the dispatcher's socket unit is \"$enabled\", not disabled"
# systemd reads both units without a word of complaint (the binary taken from
# the stage).
verify=$(mktemp -d)
cp "$units"/corvane-tesk-dispatcher.* "$verify/"
sed -i "s|^ExecStart=.*|ExecStart=$dispatcher|" "$verify/corvane-tesk-dispatcher.service"
if ! out=$(systemd-analyze verify --man=no "$verify"/corvane-tesk-dispatcher.{socket,service} 2>&1) || [ -n "$out" ]; then
  fail "systemd-analyze verify:"$'\n'"$out"
fi
rm -rf "$verify"

app_entry=$root/share/applications/org.corvane.Tesk.desktop
autostart_entry=$xdg/autostart/org.corvane.Tesk.desktop
need "$app_entry"
need "$autostart_entry"
validate_entry "$app_entry"
validate_entry "$autostart_entry"

hicolor=$root/share/icons/hicolor
for size in 16x16 32x32 48x48; do
  icon=$hicolor/$size/apps/corvane-tesk.png
  need "$icon"
  if [ -f "$icon" ] && [ "$(png_size "$icon")" != "$size" ]; then
    fail "$(rel "$icon") is $(png_size "$icon"), not $size"
  fi
done
need "$hicolor/scalable/apps/corvane-tesk.svg"

metainfo=$root/share/metainfo/org.corvane.Tesk.metainfo.xml
need "$metainfo"
if [ -f "$metainfo" ]; then
  launchable=$(sed -n 's|.*<launchable type="desktop-id">\(.*\)</launchable>.*|\1|p' "$metainfo")
  [ -f "$root/share/applications/$launchable" ] ||
    fail "metainfo launches '$launchable', which is not in share/applications"
fi

# What the entries name must be installed: the program on PATH and the icon.
for entry in "$app_entry" "$autostart_entry"; do
  [ -f "$entry" ] || continue
  exec_name=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$entry")
  [ -x "$root/bin/$exec_name" ] || fail "$(rel "$entry"): Exec=$exec_name is not in bin"
  icon_name=$(sed -n 's/^Icon=//p' "$entry")
  compgen -G "$hicolor/*/apps/$icon_name.*" >/dev/null ||
    fail "$(rel "$entry"): Icon=$icon_name is not in the hicolor theme"
done

need "$root/share/doc/corvane-tesk/copyright"

man=$(compgen -G "$root/share/man/man1/corvane-tesk.1*" || true)
if [ -z "$man" ]; then
  fail "missing $(rel "$root")/share/man/man1/corvane-tesk.1"
else
  echo "  $(rel "$man")"
  case $man in *.gz) gzip -t "$man" || fail "$(rel "$man") is not a valid gzip file" ;; esac
fi

if ((failures)); then
  echo "$failures install check(s) failed" >&2
  exit 1
fi
echo "install layout OK"
