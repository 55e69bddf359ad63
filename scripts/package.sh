#!/usr/bin/env bash
# Packs the programs of one build folder: for a Windows build (mingw-w64)
# updater-<version>-windows-x64.zip, for a Linux build
# updater-<version>-linux-x86_64.tar.gz and mkupdate_<version>_amd64.deb.
# The version is the project's, in CMakeLists.txt.
# Usage: scripts/package.sh [--test] BUILD_DIR [OUT_DIR]
#   OUT_DIR defaults to BUILD_DIR/packages.
#   --test  then unpacks each package into a new folder and updates a
#           small published set from a loopback FTP server with the
#           updater-cli it holds (the zip's under Wine, in a new prefix),
#           and runs the .deb's mkupdate --help.
set -euo pipefail
cd "$(dirname "$0")/.."
test_after=false
if [ "${1:-}" = "--test" ]; then test_after=true; shift; fi
build=${1:?usage: scripts/package.sh [--test] BUILD_DIR [OUT_DIR]}
out=${2:-$build/packages}
version=$(sed -n 's/^project(game_updater VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || { echo "no project version in CMakeLists.txt" >&2; exit 1; }
mkdir -p "$out"
out=$(cd "$out" && pwd)
work=$(mktemp -d /tmp/updater-package.XXXXXX)
trap 'rm -rf "$work"' EXIT

# Copies the programs that were built (the window only where its front-end
# is built), the skin, the samples and the publishers' README into $1.
fill_folder() {
  local folder=$1 suffix=$2 window=$3
  mkdir -p "$folder"
  local program
  for program in src/frontends/cli/updater-cli tools/mkupdate/mkupdate "$window"; do
    if [ -f "$build/$program$suffix" ]; then cp "$build/$program$suffix" "$folder/"
    elif [ "$program" != "$window" ]; then echo "missing $build/$program$suffix: build it first" >&2; exit 1
    fi
  done
  cp -r data/skin/Ftp "$folder/Ftp"
  cp packaging/isp0.dat.sample "$folder/isp0.dat"
  cp packaging/FtpConfig.ini.sample "$folder/FtpConfig.ini"
  cp packaging/README-publishers.txt "$folder/README-publishers.txt"
}

if [ -f "$build/src/frontends/cli/updater-cli.exe" ]; then
  name=updater-$version-windows-x64
  fill_folder "$work/$name" .exe src/frontends/win32/updater
  rm -f "$out/$name.zip"
  (cd "$work" && zip -qr "$out/$name.zip" "$name")
  packages=("$out/$name.zip")
else
  name=updater-$version-linux-x86_64
  fill_folder "$work/$name" "" src/frontends/gtk/updater
  tar -C "$work" -czf "$out/$name.tar.gz" "$name"
  deb=$work/deb
  mkdir -p "$deb/DEBIAN" "$deb/usr/bin" "$deb/usr/share/doc/mkupdate"
  cp "$build/tools/mkupdate/mkupdate" "$deb/usr/bin/"
  cp packaging/README-publishers.txt "$deb/usr/share/doc/mkupdate/"
  cat >"$deb/DEBIAN/control" <<CONTROL
Package: mkupdate
Version: $version
Architecture: amd64
Maintainer: Game updater developers <updater@example.com>
Depends: libc6, libstdc++6, zlib1g
Section: devel
Priority: optional
Description: builds update sets for the game updater
 Publishes a game release as an update set for an FTP server, signs it
 and checks it.
CONTROL
  dpkg-deb --root-owner-group --build "$deb" "$out/mkupdate_${version}_amd64.deb" >/dev/null
  packages=("$out/$name.tar.gz" "$out/mkupdate_${version}_amd64.deb")
fi
printf '%s\n' "${packages[@]}"

$test_after || exit 0
bash scripts/package-test.sh "$version" "${packages[@]}"
