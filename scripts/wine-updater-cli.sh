#!/usr/bin/env bash
# Runs the Windows build's updater-cli.exe under Wine with the arguments
# given, for the end-to-end suite (UPDATER_CLI names this script). The
# caller's WINEPREFIX is used; the program is $UPDATER_CLI_EXE, else the
# one in build-windows/ beside this script.
#
# Wine shows the Linux file system as drive Z:, so the program names
# /tmp/game as Z:/tmp/game; its output is given back with the Linux
# spelling the suite expects. Everything else passes unchanged.
here=$(dirname "$0")
exe=${UPDATER_CLI_EXE:-$here/../build-windows/src/frontends/cli/updater-cli.exe}
wine "$exe" "$@" > >(sed -u 's#Z:/#/#g') 2> >(sed -u 's#Z:/#/#g' >&2)
status=$?
wait
exit $status
