#!/usr/bin/env bash
# Installs a built .deb with apt (so its dependencies resolve), checks that the
# program links and that its files are in place, then removes and purges it and
# checks that nothing is left. Needs root; leaves the package uninstalled.
# Usage: check-package.sh FILE.deb
set -euo pipefail

source "$(dirname "$0")/package-check-common.sh" "$@"
depends=$(dpkg-deb -f "$deb" Depends)
# Library dependencies come from dpkg-shlibdeps; an empty Depends means it did not run.
grep -q 'libqt6widgets6' <<<"$depends" || fail "Depends lacks the Qt libraries"
grep -q 'libebook' <<<"$depends" || fail "Depends lacks the address-book libraries"
# Purging would take an admin's own autostart entry with it: start from nothing.
if installed; then
  fail "$package is already installed; purge it first (apt-get purge $package)"
fi
# A failed check leaves nothing behind either.
trap 'if installed; then apt-get purge -y -qq "$package" >/dev/null 2>&1; fi' EXIT

apt_quiet install "$deb"

ldd_out=$(ldd /usr/bin/corvane-tesk) || fail "ldd /usr/bin/corvane-tesk failed"
if grep 'not found' <<<"$ldd_out"; then
  fail "/usr/bin/corvane-tesk has unresolved libraries"
fi

expected=(
  /usr/bin/corvane-tesk
  /usr/share/applications/org.corvane.Tesk.desktop
  /etc/xdg/autostart/org.corvane.Tesk.desktop
  /usr/share/metainfo/org.corvane.Tesk.metainfo.xml
  /usr/share/icons/hicolor/16x16/apps/corvane-tesk.png
  /usr/share/icons/hicolor/32x32/apps/corvane-tesk.png
  /usr/share/icons/hicolor/48x48/apps/corvane-tesk.png
  /usr/share/icons/hicolor/scalable/apps/corvane-tesk.svg
  /usr/share/man/man1/corvane-tesk.1.gz
  /usr/share/doc/corvane-tesk/copyright
)
listed=$(dpkg -L "$package")
for path in "${expected[@]}"; do
  grep -qxF "$path" <<<"$listed" || fail "$path is not in the package"
  [ -f "$path" ] || fail "$path is listed but missing"
done
[ -x /usr/bin/corvane-tesk ] || fail "/usr/bin/corvane-tesk is not executable"
# dpkg keeps files under /etc until purge, and only if they are listed as conffiles.
autostart=/etc/xdg/autostart/org.corvane.Tesk.desktop
dpkg-query -W -f='${Conffiles}\n' "$package" | grep -q " $autostart " ||
  fail "$autostart is not a conffile"
files=()
while IFS= read -r path; do
  [ -d "$path" ] || files+=("$path")
done <<<"$listed"
echo "installed ${#files[@]} files, all present"

apt_quiet remove "$package"
for path in "${files[@]}"; do
  [ "$path" = "$autostart" ] || [ ! -e "$path" ] || fail "$path is left after removal"
done
apt_quiet purge "$package"
for path in "${files[@]}"; do
  [ ! -e "$path" ] || fail "$path is left after purge"
done
if installed; then
  fail "$package is still known to dpkg after purge"
fi
echo "package OK: $deb"
