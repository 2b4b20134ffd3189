#!/usr/bin/env bash
# CTest's emulator for the Windows build: runs a Windows program in the build tree's Wine prefix
# (never ~/.wine), with the prefix's wineserver already running detached from this process's output.
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
prefix=${SF_WINEPREFIX:-$(pwd)/wineprefix}
DISPLAY=$("$here/scripts/wine-prefix.sh" start "$prefix")
export DISPLAY WINEPREFIX=$prefix WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES='mscoree=;mshtml=;winemenubuilder.exe=d'
exec wine "$@"
