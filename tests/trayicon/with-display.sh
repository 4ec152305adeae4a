#!/bin/sh
# Runs a test program on a private X server (Xvfb), with a notification area (trayer).
#   with-display.sh --tray <program> [arguments]   the tray is needed: skip without trayer
#   with-display.sh <program> [arguments]          the tray is started when trayer is there
# Exits 77 (skipped) when what is needed is not installed. VD_SCREEN=WIDTHxHEIGHT sets the
# screen's size (1024x768 else).
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

# Waits until the command succeeds, for at most $1 seconds, while process $2 is alive.
wait_for() {
    limit=$(($(date +%s) + $1))
    pid=$2
    shift 2
    until "$@"; do
        kill -0 "$pid" 2>/dev/null && [ "$(date +%s)" -lt $limit ] || return 1
        sleep 0.1
    done
}
has_display() { [ -s "$workdir/display" ]; }
connects() { ! command -v xwininfo >/dev/null 2>&1 || xwininfo -root >/dev/null 2>&1; }
has_panel() { xwininfo -root -children 2>/dev/null | grep -q '("panel" "trayer")'; }

# The server picks a free display and writes its number once it listens. A loaded machine may
# take long to get there, and another X server starting at the same moment can take the
# display from under it: wait up to a minute, and start again on a fresh display when the
# server ended or takes no connection.
attempt=0
while :; do
    attempt=$((attempt + 1))
    : >"$workdir/display"
    Xvfb -displayfd 3 -screen 0 "${VD_SCREEN:-1024x768}x24" -nolisten tcp 3>"$workdir/display" \
        >"$workdir/xvfb.log" 2>&1 &
    xvfb_pid=$!
    if wait_for 60 $xvfb_pid has_display; then
        export DISPLAY=":$(head -n1 "$workdir/display")"
        connects && break
    fi
    echo "Xvfb did not start (attempt $attempt); its output:" >&2
    cat "$workdir/xvfb.log" >&2
    kill $xvfb_pid 2>/dev/null
    wait $xvfb_pid 2>/dev/null
    xvfb_pid=""
    [ $attempt -lt 3 ] || exit 1
done
unset WAYLAND_DISPLAY

if command -v trayer >/dev/null 2>&1; then
    attempt=0
    while :; do
        attempt=$((attempt + 1))
        trayer --edge bottom --align right --width 20 --height 24 --SetDockType true \
            >"$workdir/trayer.log" 2>&1 &
        trayer_pid=$!
        # Only a test that needs the notification area waits for it.
        [ $need_tray = yes ] || break
        wait_for 60 $trayer_pid has_panel && break
        echo "trayer did not show its panel (attempt $attempt); its output:" >&2
        cat "$workdir/trayer.log" >&2
        kill $trayer_pid 2>/dev/null
        wait $trayer_pid 2>/dev/null
        trayer_pid=""
        [ $attempt -lt 3 ] || exit 1
    done
fi

export QT_QPA_PLATFORM=xcb
export XDG_RUNTIME_DIR="$workdir/runtime"
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
"$@"
status=$?
if [ $status -ne 0 ] && [ $status -ne 77 ]; then
    for log in xvfb trayer; do
        [ -f "$workdir/$log.log" ] || continue
        echo "--- $log output:" >&2
        cat "$workdir/$log.log" >&2
    done
    echo "--- windows on the screen:" >&2
    xwininfo -root -tree 2>&1 | head -n 60 >&2
fi
exit $status
