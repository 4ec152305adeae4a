#!/bin/sh
# Runs a test program on a private X server (Xvfb), with a notification area (trayer).
#   with-display.sh --tray <program> [arguments]   the tray is needed: skip without trayer
#   with-display.sh <program> [arguments]          the tray is started when trayer is there
# Exits 77 (skipped) when what is needed is not installed.
need_tray=no
if [ "$1" = --tray ]; then
    need_tray=yes
    shift
fi
skip() {
    echo "SKIP: $1 is not installed; this test needs a private X server (Xvfb, x11-utils)" \
        "and, for the notification area, trayer" >&2
    exit 77
}
command -v Xvfb >/dev/null 2>&1 || skip Xvfb
if [ $need_tray = yes ]; then
    command -v trayer >/dev/null 2>&1 || skip trayer
    command -v xwininfo >/dev/null 2>&1 || skip xwininfo
fi

workdir="$(mktemp -d "${TMPDIR:-/tmp}/tarnwick-display.XXXXXX")"
xvfb_pid=""
trayer_pid=""
cleanup() {
    [ -n "$trayer_pid" ] && kill "$trayer_pid" 2>/dev/null
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
    wait 2>/dev/null
    rm -rf "$workdir"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

# The server picks a free display and writes its number to the pipe.
mkfifo "$workdir/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$workdir/display" \
    >"$workdir/xvfb.log" 2>&1 &
xvfb_pid=$!
display=""
read -r display <"$workdir/display" || true
if [ -z "$display" ]; then
    echo "Xvfb is installed but did not start:" >&2
    cat "$workdir/xvfb.log" >&2
    exit 1
fi
export DISPLAY=":$display"
unset WAYLAND_DISPLAY

if command -v trayer >/dev/null 2>&1; then
    trayer --edge bottom --align right --width 20 --height 24 --SetDockType true \
        >"$workdir/trayer.log" 2>&1 &
    trayer_pid=$!
fi

export QT_QPA_PLATFORM=xcb
export XDG_RUNTIME_DIR="$workdir/runtime"
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
"$@"
status=$?
if [ $status -ne 0 ] && [ -n "$trayer_pid" ]; then
    echo "--- trayer log" >&2
    cat "$workdir/trayer.log" >&2
fi
exit $status
