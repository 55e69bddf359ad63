#!/usr/bin/env bash
# The window program on a private X server, for a machine without a desktop:
# builds `updater`, serves a small update set over FTP on a loopback port,
# makes a game folder holding updater and its skin, then clicks through it
# with xdotool (server dialog, update button, start-game button) and keeps a
# screenshot of each step in demo-run/window/ (or --out DIR). Everything it
# starts is stopped when it ends, however it ends.
#
# Usage: scripts/xvfb-window-demo.sh [--out DIR] [--build DIR] [--rebuild]
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/demo_common.sh
demo_options demo-run/window "$@"

bash scripts/install-deps.sh
demo_programs updater=src/frontends/gtk/updater

# Only what an earlier demo made there goes: --out may name a folder of yours.
rm -rf "$out/server" "$out/game" "$out/display" "$out/ftp-server.log" "$out"/[0-9]-*.png
mkdir -p "$out/server" "$out/game"
pids=()
trap 'for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; wait 2>/dev/null || true' EXIT

# waits up to 30 s for a command to succeed
wait_for() { for _ in $(seq 300); do "$@" && return 0; sleep 0.1; done; echo "timed out: $*" >&2; return 1; }

echo "== Update set on a loopback FTP server"
printf 'Welcome to the demo game.\r\n' >"$out/server/Readme.txt"
printf '[Weapons]\r\nSword=1\r\n' >"$out/server/Weapons.ini"
printf '<html><body><h1>Demo bulletin</h1></body></html>\r\n' >"$out/server/bulletin.htm"
printf 'DEMO\r\nO Readme.txt Help\\Readme.txt 20240101 %s\r\nO Weapons.ini System\\Weapons.ini 20240101 %s\r\n' \
  "$(stat -c %s "$out/server/Readme.txt")" "$(stat -c %s "$out/server/Weapons.ini")" >"$out/server/update3.dat"
port=$(/usr/bin/python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
/usr/bin/python3 -m pyftpdlib -i 127.0.0.1 -p "$port" -d "$out/server" >"$out/ftp-server.log" 2>&1 &
pids+=($!)
wait_for bash -c "exec 3<>/dev/tcp/127.0.0.1/$port" 2>/dev/null

echo "== The game folder: updater, its skin, the server list, a stand-in game"
cp "$build/src/frontends/gtk/updater" "$out/game/"
cp -r "$build/src/frontends/gtk/Ftp" "$out/game/"
printf 'Demo 127.0.0.1 %s 5000 anonymous\r\nend\r\n' "$port" >"$out/game/isp0.dat"
printf '[EXECUTE]\r\nEXEFILE=game.sh\r\n' >"$out/game/FtpConfig.ini"
printf '#!/bin/sh\necho "the game started" > "$(dirname "$0")/game-started.txt"\n' >"$out/game/game.sh"
chmod +x "$out/game/game.sh"

echo "== Xvfb 1280x1024 and the window"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -wr -noreset -nolisten tcp 3>"$out/display" 2>/dev/null &
pids+=($!)
wait_for test -s "$out/display"
export DISPLAY=":$(cat "$out/display")"
(cd "$out/game" && exec ./updater) &
pids+=($!)
updater_pid=$!
left=$(( (1280 - 924) / 2 )); top=$(( (1024 - 680) / 3 ))
shot() { import -silent -window root "$out/$1.png"; echo "   $out/$1.png"; }
wait_for xdotool search --onlyvisible --pid "$updater_pid" >/dev/null
sleep 1  # let the first frame paint
shot 1-server-dialog
xdotool mousemove $((left + 340)) $((top + 566)) click 1
wait_for test -f "$out/game/update3.dat"
sleep 1
shot 2-checked
# The update button acts once the check has armed it.
wait_for bash -c "xdotool mousemove $((left + 182)) $((top + 570)) click 1; test -f '$out/game/Help/Readme.txt'"
wait_for grep -q Weapons "$out/game/update2.dat" 2>/dev/null || true
sleep 1
shot 3-updated
xdotool mousemove $((left + 182)) $((top + 570)) click 1
wait_for test -f "$out/game/game-started.txt"
echo "== $(cat "$out/game/game-started.txt"); installed:"
(cd "$out/game" && find Help System -type f | sort)
