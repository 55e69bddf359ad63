#!/usr/bin/env bash
# Cross-builds the Windows programs and their test suites with mingw-w64
# into build-windows/, after installing what that needs.
# Usage: scripts/build-windows.sh [--test]
#   --test  then runs the Windows suites under Wine, the end-to-end suite
#           of the Linux build in build/ against updater-cli.exe under
#           Wine, a set published by mkupdate.exe, and the Windows zip,
#           in a Wine prefix of their own that is removed afterwards.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$PWD}"

cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build-windows -j"$(nproc)"

# Wine ships DLLs that Windows does not (zlib1.dll among them), so a run
# under Wine cannot show that a program needs one: the programs may import
# only DLLs of Windows itself.
system_dlls='^(advapi32|crypt32|gdi32|kernel32|msvcrt|ole32|shell32|user32|winhttp|winmm|ws2_32|bcrypt|comctl32|comdlg32|msimg32|ntdll|shlwapi|uxtheme|imm32|version|oleaut32|api-ms-win-.*)\.dll$'
for program in build-windows/src/frontends/*/*.exe build-windows/tools/*/*.exe; do
  [ -e "$program" ] || continue
  foreign=$(x86_64-w64-mingw32-objdump -p "$program" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z' |
    grep -Ev "$system_dlls" || true)
  if [ -n "$foreign" ]; then
    echo "$program needs DLLs that Windows does not have: $foreign" >&2
    exit 1
  fi
done

if [ "${1:-}" = "--test" ]; then
  WINEPREFIX="$(mktemp -d /tmp/updater-wine.XXXXXX)"
  export WINEPREFIX WINEDEBUG=-all
  trap 'wineserver -k 2>/dev/null || true; rm -rf "$WINEPREFIX"' EXIT
  # The prefix is made once, before the suites start side by side.
  wineboot --init >/dev/null 2>&1
  wineserver -w
  ctest --test-dir build-windows --output-on-failure -j"$(nproc)"

  # The end-to-end cases over the FTP servers and nginx's plain HTTP, with
  # updater-cli.exe in place of the Linux program. Left out: the progress
  # on a terminal (Wine's console redraws it), the stop by a POSIX signal or
  # a kill (Wine ends its process tree its own way), the execute bits, and
  # https (Wine's TLS refuses a certificate that names an IP address, as the
  # test certificates do, and at localhost its handshakes fail now and then).
  cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build build -j"$(nproc)" --target e2e_tests
  UPDATER_CLI="$PWD/scripts/wine-updater-cli.sh" UPDATER_CLI_DRIVE=Z: \
    UPDATER_CLI_EXE="$PWD/build-windows/src/frontends/cli/updater-cli.exe" \
    build/tests/e2e/e2e_tests --gtest_brief=1 \
    --gtest_filter='RealServers/*:EachServer/*:Nginx/*:WebServers/*-*https*:*OnATerminal*:*CappedRun*:*Signalled*:*Killed*:*ExecuteBits*'

  # A set published by mkupdate.exe under Wine, served over FTP and
  # installed by the Linux updater-cli (Windows files carry no execute bits).
  cmake --build build -j"$(nproc)" --target updater-cli
  MKUPDATE_WITHOUT_EXECUTE_BITS=1 /usr/bin/python3 tests/mkupdate/pipeline_roundtrip.py \
    "$PWD/scripts/wine-mkupdate.sh" "$PWD/build/src/frontends/cli/updater-cli"

  bash scripts/package.sh --test build-windows
fi
