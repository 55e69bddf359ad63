#!/usr/bin/env bash
# Tries the packages scripts/package.sh made: each unpacked into a new
# folder, its mkupdate publishes a small release, a loopback FTP server
# serves it and its updater-cli installs it in a game folder made from the
# package's own files; the .deb's mkupdate answers --help.
# Usage: scripts/package-test.sh VERSION PACKAGE...
set -euo pipefail
cd "$(dirname "$0")/.."
version=$1
shift
work=$(mktemp -d /tmp/updater-package-test.XXXXXX)
server_pid=
cleanup() {
  [ -z "$server_pid" ] || { kill "$server_pid" 2>/dev/null || true; wait "$server_pid" 2>/dev/null || true; }
  [ -z "${WINEPREFIX:-}" ] || { wineserver -k 2>/dev/null || true; rm -rf "$WINEPREFIX"; }
  rm -rf "$work"
}
trap cleanup EXIT

# Publishes a release with $1 (the mkupdate to run), serves it, updates a
# game folder of the unpacked package $2 with $3 (its updater-cli), and
# compares what arrived.
update_from_package() {
  local mkupdate=$1 package=$2 cli=$3 case=$work/case-$RANDOM
  mkdir -p "$case/release/Help" "$case/release/Maps" "$case/server" "$case/game"
  printf 'Welcome.\r\n' >"$case/release/Help/Readme.txt"
  head -c 5000 /dev/urandom >"$case/release/Maps/Town.map"
  "$mkupdate" keygen "$case/keys" >/dev/null
  "$mkupdate" publish "$case/release" "$case/server" --sign "$case/keys/update.key" >/dev/null
  local port
  port=$(/usr/bin/python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
  /usr/bin/python3 -m pyftpdlib -i 127.0.0.1 -p "$port" -d "$case/server" >"$case/ftp.log" 2>&1 &
  server_pid=$!
  for _ in $(seq 100); do
    (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break
    sleep 0.1
  done
  # The game folder is the package's, its sample server list pointed at the server.
  cp -r "$package/." "$case/game/"
  printf 'Local 127.0.0.1 %s 5000 anonymous\r\nend\r\n' "$port" >"$case/game/isp0.dat"
  cp "$case/keys/update.pub" "$case/game/"
  "$cli" --dir "$case/game" --server 0 --update >"$case/cli.log" 2>&1 || { cat "$case/cli.log" "$case/ftp.log"; exit 1; }
  kill "$server_pid"; wait "$server_pid" 2>/dev/null || true; server_pid=
  for file in Help/Readme.txt Maps/Town.map; do
    cmp "$case/release/$file" "$case/game/$file" || { echo "FAIL: $file not installed from $package" >&2; exit 1; }
  done
  echo "ok: $(basename "$package") updated a game folder from a loopback server"
}

for package in "$@"; do
  case $package in
    *.zip)
      unzip -q "$package" -d "$work/zip"
      unpacked=$work/zip/updater-$version-windows-x64
      export WINEPREFIX WINEDEBUG=-all
      WINEPREFIX=$(mktemp -d /tmp/updater-package-wine.XXXXXX)
      wineboot --init >/dev/null 2>&1
      wineserver -w
      # Unpacked again onto the prefix's own drive C:, as a player's folder would be.
      drive_c_game=$WINEPREFIX/drive_c/Game
      cp -r "$unpacked" "$drive_c_game"
      MKUPDATE_EXE="$drive_c_game/mkupdate.exe" UPDATER_CLI_EXE="$drive_c_game/updater-cli.exe" \
        update_from_package scripts/wine-mkupdate.sh "$drive_c_game" scripts/wine-updater-cli.sh
      ;;
    *.tar.gz)
      tar -C "$work" -xzf "$package"
      unpacked=$work/updater-$version-linux-x86_64
      update_from_package "$unpacked/mkupdate" "$unpacked" "$unpacked/updater-cli"
      ;;
    *.deb)
      dpkg -x "$package" "$work/deb"
      "$work/deb/usr/bin/mkupdate" --help | grep -q publish || { echo "FAIL: mkupdate --help from the .deb" >&2; exit 1; }
      echo "ok: $(basename "$package") installs a mkupdate that runs"
      ;;
  esac
done
