#!/usr/bin/env bash
# Runs the Windows build's mkupdate.exe under Wine with the arguments given,
# in place of the Linux program for the mkupdate round trips. The caller's
# WINEPREFIX is used; the program is $MKUPDATE_EXE, else the one in
# build-windows/ beside this script. Linux paths reach it through drive Z:
# (Wine's current drive for a Linux working folder); its output is given
# back with the Linux spelling.
here=$(dirname "$0")
exe=${MKUPDATE_EXE:-$here/../build-windows/tools/mkupdate/mkupdate.exe}
wine "$exe" "$@" > >(sed -u 's#Z:/#/#g; s#Z:\\#/#g') 2> >(sed -u 's#Z:/#/#g; s#Z:\\#/#g' >&2)
status=$?
wait
exit $status
