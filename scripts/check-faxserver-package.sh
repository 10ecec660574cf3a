#!/usr/bin/env bash
# Installs the fax server's package with apt, checks that its programs link
# and sit where the print server and the admin look for them, runs
# corvane-ask once, then purges it and checks that nothing is left. Needs
# root; leaves the package uninstalled.
# Usage: check-faxserver-package.sh FILE.deb
set -euo pipefail

source "$(dirname "$0")/package-check-common.sh" "$@"
depends=$(dpkg-deb -f "$deb" Depends)
grep -q 'libstdc++6' <<<"$depends" || fail "Depends lacks the C++ library"
! grep -qi 'qt6\|ebook' <<<"$depends" || fail "the fax server's package pulls in the desktop's libraries"
installed && fail "$package is already installed; purge it first (apt-get purge $package)"
trap 'if installed; then apt-get purge -y -qq "$package" >/dev/null 2>&1; fi' EXIT

apt_quiet install "$deb"
expected=(
  /usr/bin/corvane-ask
  /usr/lib/cups/backend/corvane-fax
  /usr/share/man/man1/corvane-ask.1.gz
  /usr/share/doc/corvane-tesk-faxserver/copyright
)
listed=$(dpkg -L "$package")
for path in "${expected[@]}"; do
  grep -qxF "$path" <<<"$listed" || fail "$path is not in the package"
  [ -f "$path" ] || fail "$path is listed but missing"
done
for program in /usr/bin/corvane-ask /usr/lib/cups/backend/corvane-fax; do
  ! ldd "$program" | grep 'not found' || fail "$program has unresolved libraries"
done
# The print server runs a backend as root only when it has no group or other
# permissions; this one is meant to run as the print server's own user.
[ "$(stat -c '%a %U' /usr/lib/cups/backend/corvane-fax)" = "755 root" ] ||
  fail "the backend is not 0755 and root's: $(stat -c '%a %U' /usr/lib/cups/backend/corvane-fax)"
/usr/bin/corvane-ask --help | grep -q 'Exit status' || fail "corvane-ask --help does not run"
/usr/lib/cups/backend/corvane-fax | grep -q '^network corvane-fax:/ ' || fail "the backend does not list its device"

files=()
while IFS= read -r path; do
  [ -d "$path" ] || files+=("$path")
done <<<"$listed"
apt_quiet purge "$package"
for path in "${files[@]}"; do
  [ ! -e "$path" ] || fail "$path is left after purge"
done
echo "package OK: $deb"
