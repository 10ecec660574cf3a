#!/usr/bin/env bash
# Installs every Debian 12 package that building, running and testing need.
# Run as root; the other scripts call it through sudo when they are not root.
set -euo pipefail

packages=(
  # Build
  cmake ninja-build g++ pkg-config
  qt6-base-dev            # Qt 6 Widgets, Network and Test
  libebook1.2-dev         # vCard parsing and the desktop's address-book client
  # Run
  evolution-data-server   # the desktop's address-book service
  dbus dbus-user-session  # the session bus the address-book service lives on
  fonts-liberation2       # metric-compatible stand-ins for the dialog's Arial faces
  # Test
  desktop-file-utils      # desktop-file-validate
  appstream               # appstreamcli validate
  procps                  # pkill, for the tests that stop the address-book service
  # Windows edition: cross-build, tests under Wine, setup program
  mingw-w64 g++-mingw-w64-x86-64-posix  # the -posix compilers the toolchain file names
  wine wine64             # runs the Windows tests
  xvfb xauth              # a display for them (xvfb-run)
  nsis                    # makensis builds corvane-tesk-setup.exe
  # Package
  dpkg-dev                # dpkg-shlibdeps, which works out the .deb's library dependencies
  file                    # how CPack picks out the binaries to hand to dpkg-shlibdeps
)

export DEBIAN_FRONTEND=noninteractive
missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
done
if ((${#missing[@]})); then
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
