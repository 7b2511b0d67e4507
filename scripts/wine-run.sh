#!/usr/bin/env bash
# Runs a Windows console program under Wine in a private prefix:
#   scripts/wine-run.sh PREFIX PROGRAM.exe [ARGUMENT]...
# The prefix is made on first use (a minute or so). No display is needed: the programs are
# console programs, and Wine's browser and .NET installers are switched off. The prefix's
# regional format writes dates and times as the C locale does on Linux (12/31/26, 23:59:59),
# so that a job's header reads the same from both builds.
set -euo pipefail
prefix=$(realpath -m "$1")
shift
export WINEPREFIX=$prefix
export WINEDEBUG=-all
# One Unix locale for every run: Wine resets the regional format when the locale changes,
# and takes the file names' encoding (UTF-8) from it.
export LC_ALL=C.UTF-8
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset DISPLAY WAYLAND_DISPLAY
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=wine64
if [ ! -f "$prefix/.ready" ]; then
  mkdir -p "$prefix"
  (
    flock 9
    if [ ! -f "$prefix/.ready" ]; then
      "$wine" wineboot --init >/dev/null 2>&1 || true
      for value in "sShortDate MM/dd/yy" "sTimeFormat HH:mm:ss"; do
        set -- $value
        "$wine" reg add 'HKCU\Control Panel\International' /v "$1" /d "$2" /f >/dev/null 2>&1
      done
      wineserver=/usr/lib/wine/wineserver64
      [ -x "$wineserver" ] || wineserver=wineserver
      "$wineserver" -w || true
      touch "$prefix/.ready"
    fi
  ) 9>"$prefix.lock"
fi
exec "$wine" "$@"
