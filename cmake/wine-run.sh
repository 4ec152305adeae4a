#!/bin/sh
# Runs a Windows test executable under Wine in a throw-away prefix.
# TARNWICK_WINEPREFIX names a prefix to reuse within one test run (set by scripts/test.sh).
set -e
if [ -n "$TARNWICK_WINEPREFIX" ]; then
    WINEPREFIX="$TARNWICK_WINEPREFIX"
else
    WINEPREFIX="${TMPDIR:-/tmp}/tarnwick-wine-$(id -u)"
fi
export WINEPREFIX
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    wineboot --init >/dev/null 2>&1 || true
    wineserver -w || true
fi
exec wine "$@"
