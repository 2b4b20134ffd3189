#!/usr/bin/env bash
# Usage: wine-prefix.sh start PREFIX | stop PREFIX
#
# start: creates the Wine prefix PREFIX once, starts an Xvfb display for it when none is given in
# DISPLAY, and starts the prefix's wineserver and services detached from the caller's output. Wine's
# background processes would otherwise inherit the first caller's pipes, and CTest or pytest would wait
# for them. Prints the DISPLAY to use. Runs under a lock so that parallel callers do not race.
# SF_WINE_DPI (default 96) is the prefix's screen scale in pixels per inch (Wine's LogPixels): a scaled
# screen gets a prefix of its own, so that it never changes a prefix other tests use at 96.
# stop: ends the prefix's wineserver (and every Wine process in it) and the Xvfb started for it.
set -euo pipefail

cmd=${1:?start or stop}
prefix=${2:?prefix}
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$(dirname "$prefix")"
prefix=$(cd "$(dirname "$prefix")" && pwd)/$(basename "$prefix")

# winemenubuilder would turn every shortcut the installer makes into a menu entry in the machine's home.
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES='mscoree=;mshtml=;winemenubuilder.exe=d'
# Wine's WinHTTP would take a proxy from these for clients that make no choice of their own.
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY

if [ "$cmd" = stop ]; then
  wineserver -k >/dev/null 2>&1 || true
  if [ -f "$prefix.xvfb" ]; then
    read -r pid _ < "$prefix.xvfb" || true
    [ -n "${pid:-}" ] && kill "$pid" 2>/dev/null || true
    rm -f "$prefix.xvfb"
  fi
  exit 0
fi

[ "$cmd" = start ] || { echo "usage: $0 start|stop PREFIX" >&2; exit 2; }
dpi=${SF_WINE_DPI:-96}
[[ $dpi =~ ^[0-9]+$ ]] || { echo "$0: SF_WINE_DPI '$dpi' is not a number" >&2; exit 2; }

if [ "${SF_WINE_LOCKED:-}" != "$prefix" ]; then
  # -o: the lock's descriptor is closed for the command, so wineserver never inherits it.
  SF_WINE_LOCKED=$prefix exec flock -o "$prefix.lock" "$0" start "$prefix"
fi

# A display: the caller's, or one Xvfb per prefix that lives until 'stop'.
if [ -z "${DISPLAY:-}" ]; then
  if [ -f "$prefix.xvfb" ]; then
    read -r pid disp < "$prefix.xvfb" || true
    kill -0 "${pid:-0}" 2>/dev/null || rm -f "$prefix.xvfb"
  fi
  if [ ! -f "$prefix.xvfb" ]; then
    n=90
    while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
    setsid Xvfb ":$n" -screen 0 1280x800x24 -nolisten tcp </dev/null >/dev/null 2>&1 &
    echo "$! :$n" > "$prefix.xvfb"
    for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.05; done
  fi
  read -r _ disp < "$prefix.xvfb"
  export DISPLAY=$disp
fi

# Raised whenever the prefix's set-up below changes, so that existing prefixes are made again; a prefix
# asked for at another scale is made again too.
prefix_version=4
ready="$prefix_version dpi=$dpi"
if [ "$(cat "$prefix/.sf-ready" 2>/dev/null)" != "$ready" ]; then
  wineserver -k >/dev/null 2>&1 || true
  rm -rf "$prefix"
  wineboot -i </dev/null >/dev/null 2>&1
  wineserver -w
  # Wine links the profile's Desktop, Documents, Downloads, Templates and the like to the machine's home
  # folder. A test that writes, or a wrong path that deletes, there must stay inside the prefix: every
  # such link becomes a folder of the prefix's own.
  find "$prefix/drive_c/users" -type l -print0 | while IFS= read -r -d '' link; do
    rm -f "$link" && mkdir -p "$link"
  done
  # The menu builder stays off for any later caller that does not set the override itself.
  wine reg add 'HKCU\Software\Wine\DllOverrides' /v winemenubuilder.exe /d '' /f </dev/null >/dev/null 2>&1
  # A crash prints a backtrace and exits instead of opening winedbg's dialog, which would hang a test.
  wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f </dev/null >/dev/null 2>&1
  # The program supports Windows 10 and 11; Debian's Wine reports Windows 7 unless told otherwise.
  wine reg add 'HKCU\Software\Wine' /v Version /d win10 /f </dev/null >/dev/null 2>&1
  # The screen's scale, which every process of the prefix reads when it starts.
  wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f </dev/null >/dev/null 2>&1
  # Wine's own Tahoma is only loaded from the prefix's Fonts folder; Segoe UI is replaced by a close
  # relative so that text measured for the layout has the expected size. Its semibold face is replaced
  # by the whole family, so that a bold request gets the bold face rather than a semibold made thicker
  # (which is wider than the captions it has to fit).
  fonts=$prefix/drive_c/windows/Fonts
  mkdir -p "$fonts"
  for f in /usr/share/wine/fonts/*; do ln -sf "$f" "$fonts/"; done
  for f in /usr/share/fonts/truetype/open-sans/*.ttf; do [ -e "$f" ] && ln -sf "$f" "$fonts/"; done
  wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'Segoe UI' /d 'Open Sans' /f </dev/null >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'Segoe UI Semibold' /d 'Open Sans' /f </dev/null >/dev/null 2>&1
  wineserver -w
  echo "$ready" > "$prefix/.sf-ready"
fi

# Persistent wineserver plus the prefix's services, all with their output sent nowhere.
setsid wineserver -p </dev/null >/dev/null 2>&1 || true
setsid wine cmd /c exit 0 </dev/null >/dev/null 2>&1 || true
echo "${DISPLAY}"
