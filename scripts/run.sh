#!/usr/bin/env bash
# Sets up the machine, builds the program and starts it.
# Usage: scripts/run.sh [--virtual-display]
#   --virtual-display  for a machine without a desktop: runs the program under Xvfb with trayer
#                      as the notification area, waits for its icon, saves a screenshot to
#                      build/screenshots/run.png and then ends the program. It runs in a
#                      session of its own (a private session bus, temporary settings folders).
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

# Inside the private session bus of the virtual display (see below) the program is built.
if [ -z "${VD_PRIVATE_BUS:-}" ]; then
    "$root/scripts/setup.sh"
    "$root/scripts/build.sh" linux
fi
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
# A desktop session of its own: a session bus, so the desktop's settings (dconf) are written
# as on a real desktop, in temporary folders.
vd_private_bus "$0" "$@"
vd_session tarnwick-run
if ! vd_start "$work"; then
    echo "Tarnwick: the virtual display did not start (what it said is above)." >&2
    exit 1
fi
export QT_QPA_PLATFORM=xcb
"$exe" &
pid=$!
echo "Tarnwick runs on the virtual display $DISPLAY (pid $pid); waiting for its icon..."
if ! icon="$(vd_tray_icon "$pid" 120)"; then
    echo "Tarnwick: its icon did not appear in the notification area." >&2
    exit 1
fi
echo "Its icon is in the notification area (window $icon)."
# The main window, unless the user's settings start it hidden; then a moment for its first paint.
shown() { xdotool search --onlyvisible --pid "$pid" --name '^Tarnwick$' >/dev/null 2>&1; }
vd_until 10 shown || true
sleep 1
mkdir -p "$root/build/screenshots"
shot="$root/build/screenshots/run.png"
import -window root "$shot"
echo "Screenshot of the virtual screen: $shot"
if ! vd_end 20; then
    echo "Tarnwick: it did not end within 20 s of SIGTERM; ending it with SIGKILL." >&2
    kill -KILL "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    pid=""
    exit 1
fi
echo "Tarnwick ended (SIGTERM)."
