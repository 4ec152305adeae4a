#!/bin/sh
# Runs a Windows test executable under Wine in a throw-away prefix.
# TARNWICK_WINEPREFIX names a prefix to reuse within one test run (set by scripts/test.sh).
# TARNWICK_WINE_DPI runs it with the display at that DPI (Wine's LogPixels), in a prefix of its
# own so that tests at other DPIs running meanwhile keep theirs.
set -e
if [ -n "$TARNWICK_WINEPREFIX" ]; then
    WINEPREFIX="$TARNWICK_WINEPREFIX"
else
    WINEPREFIX="${TMPDIR:-/tmp}/tarnwick-wine-$(id -u)"
fi
if [ -n "$TARNWICK_WINE_DPI" ]; then
    WINEPREFIX="$WINEPREFIX-dpi$TARNWICK_WINE_DPI"
fi
export WINEPREFIX
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    wineboot --init >/dev/null 2>&1 || true
    wineserver -w || true
fi
if [ -n "$TARNWICK_WINE_DPI" ]; then
    wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$TARNWICK_WINE_DPI" \
        /f >/dev/null 2>&1
fi
exec wine "$@"
