#!/usr/bin/env bash
# Screenshots of the running program on a virtual display (Xvfb, trayer as the notification
# area): the main window, the open tray menu, and the rule editor with a sample rule file.
# Builds first unless --no-build. Writes build/screenshots/{main-window,tray-menu,editor}.png.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
if [ "${1:-}" != --no-build ] && [ -z "${VD_PRIVATE_BUS:-}" ]; then
    "$root/scripts/setup.sh"
    "$root/scripts/build.sh" linux
fi
exe="${TARNWICK_EXE:-$root/build/linux/src/Tarnwick}"
[ -x "$exe" ] || { echo "screenshots: $exe is missing" >&2; exit 1; }
source "$root/scripts/virtual-display.sh"
if missing="$(vd_missing)"; then
    echo "screenshots: $missing is missing; scripts/setup.sh installs it." >&2
    exit 1
fi
command -v import >/dev/null || { echo "screenshots: ImageMagick's import is missing" >&2; exit 1; }
# A session bus of its own, so the switch writes the desktop's settings (dconf) as on a desktop.
vd_private_bus "$0" "$@"

vd_session tarnwick-shots
out="$root/build/screenshots"
mkdir -p "$out" "$work/app"
cp "$exe" "$work/app/Tarnwick"
# A few rules for the editor to show (GBK, as the program writes them).
printf '[row1]\r\ncol0=\xd7\xd3\xcd\xf8\r\ncol1=192.168.0.1;255.255.255.0\r\ncol2=10.0.0.1:8080\r\n[row2]\r\ncol0=\xb2\xbb\xc4\xdc\xbd\xe2\xce\xf6\xb5\xc4\xb5\xd8\xd6\xb7\r\ncol1=\xd7\xd3\xcd\xf8\r\ncol2=10.0.0.2:3128\r\n' \
    >"$work/app/configData.ini"
export QT_QPA_PLATFORM=xcb
vd_start "$work" || { echo "screenshots: the virtual display did not start" >&2; exit 1; }
"$work/app/Tarnwick" >"$work/program.log" 2>&1 &
pid=$!
failed() {
    echo "screenshots: $*; the program said:" >&2
    sed 's/^/    /' "$work/program.log" >&2
    exit 1
}
icon="$(vd_tray_icon "$pid" 120)" || failed "no icon in the notification area"
main="$(vd_window Tarnwick 60)" || failed "no main window"
sleep 0.5 # its first paint
import -window "$main" "$out/main-window.png"

# The tray menu opens on the right-button press; the shot shows the corner of the screen with
# the notification area and the menu.
windows() { xdotool search --onlyvisible --pid "$pid" 2>/dev/null | sort; }
before="$(windows)"
menu_open() { [ -n "$(comm -13 <(echo "$before") <(windows))" ]; }
xdotool mousemove --window "$icon" 8 8 click 3
vd_until 60 menu_open || failed "the tray menu did not open"
sleep 0.5 # its first paint
import -window root -crop 360x160+664+0 +repage "$out/tray-menu.png"
xdotool key Down Down Return # 设置: the rule editor
editor="$(vd_window '设置参数' 60)" || failed "the rule editor did not open"
sleep 0.6
import -window "$editor" "$out/editor.png"
xdotool mousemove --window "$editor" 160 182 click 1 # 取消
vd_end 60 || failed "SIGTERM did not end the program"
echo "Screenshots in $out: main-window.png tray-menu.png editor.png"
