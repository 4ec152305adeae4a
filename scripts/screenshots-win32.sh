#!/usr/bin/env bash
# Screenshots of the Windows program under Wine on a virtual display (Xvfb, trayer as the
# notification area): the main window, the open tray menu, and the rule editor with a sample
# rule file and its type list open. Builds first unless --no-build.
# Writes build/screenshots/win32-{main-window,tray-menu,editor,editor-tester}.png.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
if [ "${1:-}" != --no-build ]; then
    "$root/scripts/setup.sh"
    "$root/scripts/build.sh" windows
fi
exe="${TARNWICK_EXE:-$root/build/windows/src/Tarnwick.exe}"
[ -f "$exe" ] || { echo "screenshots-win32: $exe is missing" >&2; exit 1; }
source "$root/scripts/virtual-display.sh"
source "$root/scripts/wine-env.sh"
if missing="$(vd_missing || wine_missing)"; then
    echo "screenshots-win32: $missing is missing; scripts/setup.sh installs it." >&2
    exit 1
fi
command -v import >/dev/null || { echo "screenshots-win32: ImageMagick's import is missing" >&2; exit 1; }

vd_session tarnwick-shots-win32 wine_stop
out="$root/build/screenshots"
mkdir -p "$out" "$work/app"
cp "$exe" "$work/app/Tarnwick.exe"
# A few rules for the editor to show (GBK, as the program writes them).
printf '[row1]\r\ncol0=\xd7\xd3\xcd\xf8\r\ncol1=192.168.0.1;255.255.255.0\r\ncol2=10.0.0.1:8080\r\n[row2]\r\ncol0=\xd3\xf2\xc3\xfb,\xbf\xc9\xd3\xc3\xcd\xa8\xc5\xe4\xb7\xfb"*"\r\ncol1=*.tarnwick.invalid\r\ncol2=10.0.0.2:3128\r\n[row3]\r\ncol0=\xb2\xbb\xc4\xdc\xbd\xe2\xce\xf6\xb5\xc4\xb5\xd8\xd6\xb7\r\ncol1=\xd7\xd3\xcd\xf8\r\ncol2=10.0.0.3:3128\r\n' \
    >"$work/app/configData.ini"
wine_locale "${TMPDIR:-/tmp}/tarnwick-locale-$(id -u)"
wine_prefix "${TARNWICK_WINEPREFIX:+$TARNWICK_WINEPREFIX-gui}"
vd_start "$work"
# The pictures show the program's first start, not preferences a test run left in the prefix
# (on the virtual display: Wine's desktop process starts with the first Wine command).
wine reg delete 'HKCU\Software\IETarnwick' /f >/dev/null 2>&1 || true
wine "$work/app/Tarnwick.exe" >"$work/program.log" 2>&1 &
pid=$!
icon="$(wine_wait_icon "$pid")" ||
    { echo "screenshots-win32: no icon in the notification area" >&2; exit 1; }
main="$(wine_wait_main_window)" || { echo "screenshots-win32: no main window" >&2; exit 1; }
sleep 0.5
# A hint on the switch button, as the pointer comes to rest on it.
for x in 40 48 54 58; do
    xdotool mousemove --window "$main" "$x" 20
    sleep 0.2
done
sleep 1
import -window root -crop 420x260+200+140 +repage "$out/win32-main-window.png"

windows() { xdotool search --onlyvisible --pid "$pid" 2>/dev/null | sort; }
before="$(windows)"
xdotool mousemove --window "$icon" 8 8 click 3
for _ in $(seq 60); do
    menu="$(comm -13 <(echo "$before") <(windows) | head -n1)"
    [ -n "$menu" ] && break
    sleep 0.05
done
sleep 0.4
xdotool mousemove --window "$menu" 30 53 # over the switch item
sleep 0.3
import -window root -crop 300x140+724+0 +repage "$out/win32-tray-menu.png"
xdotool mousemove --window "$menu" 30 29 click 1 # 设置: the rule editor
editor="$(vd_window '设置参数' 10)"
sleep 0.5
# The type cell of row 2, then its list dropped down.
xdotool mousemove --window "$editor" 85 89 click 1
sleep 0.4
xdotool mousemove --window "$editor" 85 89 click 1
sleep 0.6
import -window root -crop 560x320+180+180 +repage "$out/win32-editor.png"
xdotool key Escape
sleep 0.3
# The rule tester for an address of the subnet rule.
editor_height="$(xwininfo -id "$editor" | awk '/Height:/ { print $2 }')"
# The first click may only close what the Escape left of the list.
for _ in 1 2; do
    xdotool mousemove --window "$editor" 200 $((editor_height - 90)) click 1
    sleep 0.4
done
xdotool type --delay 20 "http://192.168.0.7/intranet"
xdotool key Return
sleep 0.6
import -window root -crop 560x320+180+180 +repage "$out/win32-editor-tester.png"
echo "Screenshots in $out: win32-main-window.png win32-tray-menu.png win32-editor.png win32-editor-tester.png"
