#!/usr/bin/env bash
# Sets up the machine, builds the program and starts it.
# Usage: scripts/run.sh [--virtual-display]
#   --virtual-display  for a machine without a desktop: runs the program under Xvfb with trayer
#                      as the notification area, waits for its icon, saves a screenshot to
#                      build/screenshots/run.png and then ends the program.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
virtual=0
case "${1:-}" in
--virtual-display) virtual=1 ;;
"") ;;
*)
    echo "usage: scripts/run.sh [--virtual-display]" >&2
    exit 2
    ;;
esac

"$root/scripts/setup.sh"
"$root/scripts/build.sh" linux
exe="$root/build/linux/src/Tarnwick"
if [ ! -x "$exe" ]; then
    echo "Tarnwick: the program was not built ($exe is missing)." >&2
    exit 1
fi
if [ "$virtual" -eq 0 ] && [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    cat >&2 <<'MSG'
Tarnwick: no display available ($DISPLAY and $WAYLAND_DISPLAY are both empty), so the program's
window and notification-area icon cannot be shown here. Run it from a desktop session, or see it
on a virtual display (Xvfb with trayer as the notification area, plus a screenshot):

    scripts/run.sh --virtual-display
MSG
    exit 1
fi

if [ "$virtual" -eq 0 ]; then
    exec "$exe"
fi

source "$root/scripts/virtual-display.sh"
if missing="$(vd_missing)"; then
    echo "Tarnwick: $missing is missing; scripts/setup.sh installs it." >&2
    exit 1
fi
work="$(mktemp -d "${TMPDIR:-/tmp}/tarnwick-run.XXXXXX")"
program=""
finish() {
    [ -n "$program" ] && kill "$program" 2>/dev/null || true
    vd_stop
    rm -rf "$work"
}
trap finish EXIT
if ! vd_start "$work"; then
    echo "Tarnwick: the virtual display did not start (what it said is above)." >&2
    exit 1
fi
export XDG_RUNTIME_DIR="$work" QT_QPA_PLATFORM=xcb
"$exe" &
program=$!
echo "Tarnwick runs on the virtual display $DISPLAY (pid $program); waiting for its icon..."
if ! icon="$(vd_tray_icon "$program" 120)"; then
    echo "Tarnwick: its icon did not appear in the notification area." >&2
    exit 1
fi
echo "Its icon is in the notification area (window $icon)."
# The main window, unless the user's settings start it hidden; then a moment for its first paint.
shown() { xdotool search --onlyvisible --pid "$program" --name '^Tarnwick$' >/dev/null 2>&1; }
vd_until 10 shown || true
sleep 1
mkdir -p "$root/build/screenshots"
shot="$root/build/screenshots/run.png"
import -window root "$shot"
echo "Screenshot of the virtual screen: $shot"
kill -TERM "$program"
ended() { ! kill -0 "$program" 2>/dev/null; }
if ! vd_until 60 ended; then
    echo "Tarnwick: it did not end within 60 s of SIGTERM; ending it with SIGKILL." >&2
    kill -KILL "$program" 2>/dev/null || true
    wait "$program" 2>/dev/null || true
    program=""
    exit 1
fi
wait "$program" || true
program=""
echo "Tarnwick ended (SIGTERM)."
