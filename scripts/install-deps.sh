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
  doctest-dev             # the test framework of the logic, also built for Windows
  xvfb xauth x11-utils    # an X server for the tests of what the window manager sees; xprop
  desktop-file-utils      # desktop-file-validate
  appstream               # appstreamcli validate
  procps                  # pkill, for the tests that stop the address-book service
  xdotool                 # the users' hands in the shared-host test (two accounts, two X servers)
  systemd                 # systemctl and systemd-analyze check the dispatcher's units as installed
  # Windows edition
  mingw-w64 g++-mingw-w64-x86-64-posix  # the -posix compilers the toolchain file names
  mingw-w64-tools libwine-dev           # widl and the system IDL files, for the Outlook stand-in's interfaces
  wine wine64             # runs the Windows tests
  imagemagick             # the icons and banner made from the PNGs; screenshots
  trayer iproute2 util-linux  # a tray host, ss and unshare for the tests of the real program
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

# The fax server's half is tested against the real print server and HylaFAX,
# which the tests start on their own ports and spools. Installing them must
# neither ask questions nor leave their system-wide services running, so the
# packages' service starts are refused while they install.
fax_packages=(
  cups-daemon cups-client # a private print server and lp, lpadmin, lpstat
  hylafax-server          # faxq and hfaxd
  hylafax-client          # sendfax and faxstat
)
missing=()
for package in "${fax_packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
done
if ((${#missing[@]})); then
  policy=/usr/sbin/policy-rc.d
  if [ ! -e "$policy" ]; then
    printf '#!/bin/sh\nexit 101\n' >"$policy"
    chmod 755 "$policy"
    trap 'rm -f "$policy"' EXIT
  fi
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
