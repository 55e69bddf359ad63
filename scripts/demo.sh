#!/usr/bin/env bash
# Demo of the updater on one machine: installs what is needed, builds
# updater-cli, serves a demo update set (one entry of every type) from a
# local FTP server on a free loopback port (published with mkupdate), makes
# a demo game folder that points at it, runs `updater-cli --update` there
# and shows what was installed; then changes one file of the release,
# publishes again and updates once more. The server is stopped when the
# script ends, however it ends.
#
# Usage: scripts/demo.sh [--out DIR] [--build DIR] [--rebuild]
#   (everything lands in demo-run/ unless --out names another folder; an
#   existing build is used as it is)
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/demo_common.sh
demo_options demo-run "$@"

bash scripts/install-deps.sh
demo_programs updater-cli=src/frontends/cli/updater-cli mkupdate=tools/mkupdate/mkupdate

# Debian's interpreter carries pyftpdlib; a python3 earlier on PATH may not.
python=/usr/bin/python3
demo=$out
mkupdate=$build/tools/mkupdate/mkupdate
updater_cli=$build/src/frontends/cli/updater-cli
# Only what an earlier demo made there goes: --out may name a folder of yours.
rm -rf "$demo/release" "$demo/server" "$demo/game" "$demo/keys" "$demo/release.rules" "$demo/ftp-server.log"
mkdir -p "$demo/release" "$demo/server" "$demo/game/System"

# The release: the game's files as players should have them.
(
  cd "$demo/release"
  mkdir -p System Help Maps/Forest Textures/Trees Animations/Walk StaticMeshes/Rocks sounds/Birds
  for i in $(seq 40); do printf 'Setting%s=On\r\n' "$i"; done >System/Quelmar.ini
  printf 'Welcome to the demo game.\r\n' >Help/Readme.txt
  echo "town map" >Maps/Town.map
  echo "glade map" >Maps/Forest/Glade.map
  echo "oak texture" >Textures/Trees/Oak.pcx
  echo "pine texture" >Textures/Trees/Pine.pcx
  echo "walk animation" >Animations/Walk/Walk.psa
  echo "rock mesh" >StaticMeshes/Rocks/Rock1.ase
  echo "chirp sound" >sounds/Birds/Chirp.wav
)
cat >"$demo/release.rules" <<'RULES'
C Maps.bnd   -      Maps/*
T Trees.bnd  Trees  Textures/Trees/*
A Walk.bnd   Walk   Animations/Walk/*
S Rocks.bnd  Rocks  StaticMeshes/Rocks/*
W Birds.bnd  Birds  sounds/Birds/*
raw Help/*
RULES

echo "== Publishing the release with mkupdate, signed with a new key pair"
"$mkupdate" keygen "$demo/keys"
"$mkupdate" publish "$demo/release" "$demo/server" --rules "$demo/release.rules" --sign "$demo/keys/update.key"
printf '<html><body><h1>Demo bulletin</h1></body></html>\r\n' >"$demo/server/bulletin.htm"
"$mkupdate" sign "$demo/server" --key "$demo/keys/update.key"
cat "$demo/server/update3.dat"

port=$("$python" -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
"$python" -m pyftpdlib -i 127.0.0.1 -p "$port" -d "$demo/server" >"$demo/ftp-server.log" 2>&1 &
server_pid=$!
trap 'kill "$server_pid" 2>/dev/null; wait "$server_pid" 2>/dev/null || true' EXIT
for _ in $(seq 100); do
  if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then break; fi
  kill -0 "$server_pid" 2>/dev/null || { cat "$demo/ftp-server.log"; exit 1; }
  sleep 0.1
done

# The game folder: the server list, the game's settings, and a stand-in for
# the game's package-import tool that only notes how it was called.
printf 'Demo 127.0.0.1 %s 5000 anonymous\r\nend\r\n' "$port" >"$demo/game/isp0.dat"
printf '[EXECUTE]\r\nEXEFILE=Quelmar.exe kvx\r\n' >"$demo/game/FtpConfig.ini"
# The publisher's public key ships with the game: only sets it signed are used.
cp "$demo/keys/update.pub" "$demo/game/update.pub"
cat >"$demo/game/System/PKG" <<'TOOL'
#!/bin/sh
echo "PKG $*" >> import.log
TOOL
chmod +x "$demo/game/System/PKG"

echo
echo "== updater-cli --update in $demo/game"
"$updater_cli" --dir "$demo/game" --server 0 --update

echo
echo "== Installed files"
(cd "$demo/game" && find . -type f ! -name import.log | sort)
echo
echo "== Record of installed versions (update2.dat)"
cat "$demo/game/update2.dat"
echo
echo "== Package imports started"
# The import tool runs on its own; wait (at most 5 s) for its four calls.
for _ in $(seq 50); do
  [ "$(cat "$demo/game/import.log" 2>/dev/null | wc -l)" -ge 4 ] && break
  sleep 0.1
done
sort "$demo/game/import.log" 2>/dev/null || echo "(none yet)"

echo
echo "== A changed file: publish again and update"
printf 'Welcome to the demo game, second edition.\r\n' >"$demo/release/Help/Readme.txt"
"$mkupdate" publish "$demo/release" "$demo/server" --rules "$demo/release.rules" --sign "$demo/keys/update.key"
"$updater_cli" --dir "$demo/game" --update
echo
cat "$demo/game/Help/Readme.txt"
cat "$demo/game/update2.dat"
