#!/usr/bin/env bash
# Builds the Debian package and prints its path; the build log goes to stderr,
# so that `deb=$(bash scripts/package.sh)` works.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh
install_deps >&2
# Only the package about to be built is left, so the printed path is unambiguous.
rm -f build/package/corvane-tesk_*.deb build/package/corvane-tesk-faxserver_*.deb
cmake --workflow --preset package >&2
debs=(build/package/corvane-tesk_*.deb)
[ -f "${debs[0]}" ] || { echo "package.sh: no .deb was made" >&2; exit 1; }
echo "$PWD/${debs[0]}"
