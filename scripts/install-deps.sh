#!/usr/bin/env bash
# Installs every Debian package the project needs to build, test, benchmark
# and run the demo. Safe to run again: apt-get skips what is already there.
set -euo pipefail

packages=(
  # build
  cmake g++ make ccache pkg-config zlib1g-dev libglib2.0-dev libgtk-3-dev
  libwebkit2gtk-4.1-dev libgtest-dev libgmock-dev libbenchmark-dev
  libcurl4-openssl-dev
  # tests: real FTP peers, the window under Xvfb, Chinese glyphs
  python3 python3-pyftpdlib vsftpd xvfb xauth xdotool imagemagick x11-utils
  fonts-arphic-uming
  # tests: a real web server for the HTTP(S) mirrors, certificates made by the tests
  nginx-light openssl
  # benchmarks: the peers the figures are measured against; GNU time for peak memory
  curl lftp aria2 gzip time
  # benchmarks of delta updates: the chunking and patching peers
  casync zsync rsync
  # fuzzing and sanitizer runs
  clang libclang-rt-14-dev iproute2
  # table generation (tools/gen_big5_table.py) only
  opencc libc-bin
  # signatures and hashes; keys made by the standard tool in the tests
  libgcrypt20-dev minisign
  # the Windows cross-build (scripts/build-windows.sh) and its tests under Wine
  g++-mingw-w64-x86-64-posix libz-mingw-w64-dev libgcrypt-mingw-w64-dev googletest wine wine64 locales
  # the packages (scripts/package.sh) and their tests
  zip unzip
)

need_install=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || need_install+=("$p")
done

if [ ${#need_install[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${need_install[@]}"
fi

# Wine takes a program's locale from LANG only where the system has that
# locale: the Windows suites run in the Chinese ones too.
for chinese in zh_TW.BIG5:zh_TW:BIG5 zh_CN.GB2312:zh_CN:GB2312; do
  IFS=: read -r name source charmap <<<"$chinese"
  if ! locale -a 2>/dev/null | grep -qix "$(echo "$name" | tr 'A-Z' 'a-z')"; then
    SUDO=""
    [ "$(id -u)" -eq 0 ] || SUDO="sudo"
    $SUDO localedef -i "$source" -f "$charmap" "$name"
  fi
done
