#!/bin/sh
# Runs a test program on a private X server with a notification area (trayer).
# Exit 77 (skipped) when the X server or the tray program is not installed.
# Usage: with-tray.sh <test program> [arguments]
for tool in Xvfb trayer xwininfo; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "SKIP: $tool is not installed; the real notification-area test needs Xvfb, trayer and x11-utils" >&2
        exit 77
    fi
done

workdir="$(mktemp -d "${TMPDIR:-/tmp}/tarnwick-tray.XXXXXX")"
xvfb_pid=""
trayer_pid=""
cleanup() {
    [ -n "$trayer_pid" ] && kill "$trayer_pid" 2>/dev/null
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
    wait 2>/dev/null
    rm -rf "$workdir"
}
trap cleanup EXIT INT TERM

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

trayer --edge bottom --align right --width 20 --height 24 --SetDockType true \
    >"$workdir/trayer.log" 2>&1 &
trayer_pid=$!

export QT_QPA_PLATFORM=xcb
export HOME="$workdir"
export XDG_CONFIG_HOME="$workdir/config"
export XDG_RUNTIME_DIR="$workdir/runtime"
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
"$@"
status=$?
if [ $status -ne 0 ]; then
    echo "--- trayer log" >&2
    cat "$workdir/trayer.log" >&2
fi
exit $status
