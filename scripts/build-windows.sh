#!/usr/bin/env bash
# Cross-builds the Windows programs and their test suites with mingw-w64
# into build-windows/, after installing what that needs.
# Usage: scripts/build-windows.sh [--test]
#   --test  then runs the suites under Wine, in a Wine prefix of their own
#           that is removed afterwards.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$PWD}"

cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build-windows -j"$(nproc)"

if [ "${1:-}" = "--test" ]; then
  WINEPREFIX="$(mktemp -d /tmp/updater-wine.XXXXXX)"
  export WINEPREFIX WINEDEBUG=-all
  trap 'wineserver -k 2>/dev/null || true; rm -rf "$WINEPREFIX"' EXIT
  # The prefix is made once, before the suites start side by side.
  wineboot --init >/dev/null 2>&1
  wineserver -w
  ctest --test-dir build-windows --output-on-failure -j"$(nproc)"
fi
