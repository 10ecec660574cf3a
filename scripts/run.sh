#!/usr/bin/env bash
# Builds the program and runs it from the build tree.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh
install_deps
cmake --preset release >/dev/null
cmake --build --preset release
exec build/release/src/qt/corvane-tesk "$@"
