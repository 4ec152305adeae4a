#!/usr/bin/env bash
# The real program in a real Wayland session: sway on its headless backend, waybar as the bar
# and StatusNotifierItem host, a session bus of the session's own with dconf behind GSettings.
# Checks that the program's item registers with the watcher, that the menu it exports holds the
# six entries, that the menu's switch entry turns the switch off and on (store and GSettings)
# with its caption following, that a left click on the icon in the bar changes nothing, and
# that the menu's Exit ends the program with startHidden stored. Screenshots of the bar and the
# main window go to build/screenshots/wayland-*.png.
# Usage: WaylandSession.sh TARNWICK_EXECUTABLE SOURCE_DIR
# sway refuses to run as root: as root the session runs as the unprivileged user
# tarnwick-session, made here when it does not exist. Exit 77 (with the reason): a tool is
# missing or no such user can be had. Every wait is bounded by wall-clock time.
set -uo pipefail

if [ "${1:-}" = --inside ]; then
    inside=1
    work="$2"
    source_dir="$3"
else
    inside=0
    program="$1"
    source_dir="$2"
fi
source "$source_dir/scripts/virtual-display.sh"

if [ "$inside" = 0 ]; then
    for tool in sway swaymsg waybar grim wtype dbus-run-session gdbus gsettings; do
        if ! command -v "$tool" >/dev/null 2>&1; then
            echo "SKIP: $tool is missing (scripts/setup.sh installs it)"
            exit 77
        fi
    done
    if ! ls /usr/lib/*/qt6/plugins/platforms/libqwayland-generic.so >/dev/null 2>&1; then
        echo "SKIP: Qt's Wayland platform plugin is missing (package qt6-wayland)"
        exit 77
    fi
    work="$(mktemp -d "${TMPDIR:-/tmp}/tarnwick-wayland.XXXXXX")"
    trap 'rm -rf "$work"' EXIT
    mkdir -p "$work/app" "$work/config" "$work/runtime" "$work/cache" "$work/shots"
    chmod 700 "$work/runtime"
    cp "$program" "$work/app/Tarnwick"
    cp "$0" "$work/session.sh"
    cp -r "$source_dir/scripts" "$work/scripts"
    run=()
    if [ "$(id -u)" = 0 ]; then
        user=tarnwick-session
        if ! getent passwd "$user" >/dev/null &&
            ! useradd --system --no-create-home --home-dir /nonexistent \
                --shell /usr/sbin/nologin "$user" 2>"$work/useradd.log"; then
            echo "SKIP: sway does not run as root and no user $user could be made:" \
                "$(cat "$work/useradd.log")"
            exit 77
        fi
        chown -R "$user:" "$work"
        run=(runuser -u "$user" --)
    fi
    # The XDG folders before the bus: the services it starts (dconf) take their environment
    # from it.
    "${run[@]}" env -i PATH="$PATH" HOME="$work" LANG=C.UTF-8 \
        XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime" \
        XDG_CACHE_HOME="$work/cache" GSETTINGS_BACKEND=dconf \
        timeout 400 dbus-run-session -- bash "$work/session.sh" --inside "$work" "$work"
    status=$?
    if [ -d "$source_dir/build" ]; then
        mkdir -p "$source_dir/build/screenshots"
        cp "$work"/shots/*.png "$source_dir/build/screenshots/" 2>/dev/null || true
    fi
    exit "$status"
fi

# --- inside the session: the user of the session, its own bus ---
pid=""
sway_pid=""
finish() {
    [ -n "$pid" ] && kill -9 "$pid" 2>/dev/null
    [ -n "$sway_pid" ] && kill "$sway_pid" 2>/dev/null
    wait 2>/dev/null
}
trap finish EXIT
fail() {
    echo "FAIL: $*"
    for log in sway waybar program; do
        echo "--- $log:"
        tail -n 30 "$work/$log.log" 2>/dev/null | sed 's/^/    /'
    done
    exit 1
}
store="$work/config/tarnwick/HKEY_CURRENT_USER.reg"
store_has() { grep -qF -- "$1" "$store" 2>/dev/null; }

cat >"$work/waybar.json" <<'JSON'
{ "layer": "top", "position": "top", "height": 28, "modules-left": ["clock"],
  "modules-right": ["tray"], "tray": { "icon-size": 20, "spacing": 8 } }
JSON
cat >"$work/sway.conf" <<CONF
output HEADLESS-1 resolution 1024x768 position 0 0
default_border normal
for_window [title="."] floating enable
exec waybar -c $work/waybar.json >$work/waybar.log 2>&1
CONF
WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 \
    sway -c "$work/sway.conf" >"$work/sway.log" 2>&1 &
sway_pid=$!
sway_ready() { ls "$XDG_RUNTIME_DIR"/sway-ipc.*.sock >/dev/null 2>&1 && ls "$XDG_RUNTIME_DIR"/wayland-* >/dev/null 2>&1; }
vd_until 60 sway_ready || fail "sway did not start"
SWAYSOCK="$(ls "$XDG_RUNTIME_DIR"/sway-ipc.*.sock | head -n1)"
WAYLAND_DISPLAY="$(basename "$(ls "$XDG_RUNTIME_DIR"/wayland-* | grep -v lock | head -n1)")"
export SWAYSOCK WAYLAND_DISPLAY
bus_has() {
    gdbus call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
        --method org.freedesktop.DBus.NameHasOwner "$1" 2>/dev/null | grep -q true
}
vd_until 60 bus_has org.kde.StatusNotifierWatcher || fail "waybar's tray has no watcher"

QT_QPA_PLATFORM=wayland "$work/app/Tarnwick" >"$work/program.log" 2>&1 &
pid=$!
prop() { # SERVICE PATH INTERFACE NAME
    gdbus call --session --dest "$1" --object-path "$2" \
        --method org.freedesktop.DBus.Properties.Get "$3" "$4" 2>/dev/null
}
items() { prop org.kde.StatusNotifierWatcher /StatusNotifierWatcher org.kde.StatusNotifierWatcher RegisteredStatusNotifierItems; }
registered() { items | grep -q "'"; }
vd_until 60 registered || fail "the program's item did not register with the watcher: $(items)"
# "service/path" or ":1.n/path", as hosts register it.
item="$(items | grep -o "'[^']*'" | head -n1 | tr -d "'")"
service="${item%%/*}"
path="/${item#*/}"
[ "$path" != "/$item" ] || path=/StatusNotifierItem
echo "item: $service $path"; echo "menu: $(prop "$service" "$path" org.kde.StatusNotifierItem Menu)"
title="$(prop "$service" "$path" org.kde.StatusNotifierItem Title)"
[[ "$title" == *"'Tarnwick'"* ]] || fail "the item's title is $title"
menu_path="$(prop "$service" "$path" org.kde.StatusNotifierItem Menu | grep -o "'/[^']*'" | tr -d "'")"
[ -n "$menu_path" ] && [ "$menu_path" != /NO_DBUSMENU ] || fail "the item exports no menu ($menu_path)"

layout() {
    gdbus call --session --dest "$service" --object-path "$menu_path" \
        --method com.canonical.dbusmenu.GetLayout 0 -- -1 "@as []" 2>&1
}
# The entries in order, one a line: a label, or "-" for a separator.
entries() {
    layout | python3 -c '
import re, sys
text = sys.stdin.read()
for m in re.finditer(r"\((\d+), \{([^{}]*)\}, (?:@av )?\[\]\)", text):
    props = m.group(2)
    if "separator" in props:
        print("-")
    else:
        label = re.search(r"'"'"'label'"'"': <'"'"'([^'"'"']*)'"'"'>", props)
        print(label.group(1).replace("_", "") if label else "?")
'
}
entry_id() { # LABEL
    layout | python3 -c '
import re, sys
for m in re.finditer(r"\((\d+), \{([^{}]*)\}, (?:@av )?\[\]\)", sys.stdin.read()):
    if re.search(r"'"'"'label'"'"': <'"'"'_?" + re.escape(sys.argv[1]), m.group(2)):
        print(m.group(1)); break
' "$1"
}
click() { # LABEL
    local id
    id="$(entry_id "$1")"
    [ -n "$id" ] || fail "no entry \"$1\" in the menu: $(entries | tr '\n' ' ')"
    gdbus call --session --dest "$service" --object-path "$menu_path" \
        --method com.canonical.dbusmenu.Event "$id" clicked '<0>' 0 >/dev/null ||
        fail "the menu took no Event for \"$1\""
}
six_entries() { [ "$(entries | tr '\n' ' ')" = "主界面 设置 - 禁用 - 退出 " ]; }
vd_until 30 six_entries || fail "the exported menu holds: $(entries | tr "\n" " ") -- $(layout)"
vd_until 30 store_has '"AutoConfigURL"="http://127.0.0.1:' || fail "the start did not turn the switch on"
gsettings get org.gnome.system.proxy mode | grep -q auto || fail "GSettings mode is not auto"

# The bar with the icon, and the main window.
main_shown() { swaymsg -t get_tree 2>/dev/null | grep -q '"name": "Tarnwick"'; }
vd_until 30 main_shown || fail "the main window is not shown"
sleep 1
grim "$work/shots/wayland-session.png" || fail "grim took no screenshot"

click 禁用
vd_until 30 store_has '"AutoConfigURL"=""' || fail "禁用 did not turn the switch off in the store"
gsettings get org.gnome.system.proxy mode | grep -q auto && fail "禁用 left GSettings at auto"
caption_on() { entries | grep -qx 启用; }
vd_until 30 caption_on || fail "the switch entry's caption did not follow: $(entries | tr '\n' ' ')"
click 启用
vd_until 30 store_has '"AutoConfigURL"="http://127.0.0.1:' || fail "启用 did not turn the switch on"
auto_again() { gsettings get org.gnome.system.proxy mode | grep -q auto; }
vd_until 30 auto_again || fail "启用 did not put GSettings back at auto"

# A left click on the icon: the host calls the item's Activate (sway's headless backend has no
# pointer to click the bar with). The program uses no click there, so nothing changes.
before="$(swaymsg -t get_tree | grep -c '"name":')"
gdbus call --session --dest "$service" --object-path "$path" \
    --method org.kde.StatusNotifierItem.Activate 1010 14 >/dev/null || fail "the item took no Activate"
sleep 1
kill -0 "$pid" 2>/dev/null || fail "a left click ended the program"
[ "$(swaymsg -t get_tree | grep -c '"name":')" = "$before" ] || fail "a left click opened a window"
store_has '"AutoConfigURL"="http://127.0.0.1:' || fail "a left click changed the switch"
wtype -k Escape 2>/dev/null || fail "wtype typed nothing"

# Hide the main window through its close, then 主界面 brings it back.
swaymsg '[title="^Tarnwick$"] kill' >/dev/null
main_hidden() { ! main_shown; }
vd_until 30 main_hidden || fail "closing the main window did not hide it"
kill -0 "$pid" 2>/dev/null || fail "closing the main window ended the program"
click 主界面
vd_until 30 main_shown || fail "主界面 did not show the main window"

# 设置 opens the rule editor as a window of its own; closing it cancels.
click 设置
editor_shown() { swaymsg -t get_tree 2>/dev/null | grep -q '"name": "设置参数"'; }
vd_until 30 editor_shown || fail "设置 did not open the rule editor"
sleep 1
grim "$work/shots/wayland-editor.png" || fail "grim took no screenshot"
swaymsg '[title="^设置参数$"] kill' >/dev/null
editor_gone() { ! editor_shown; }
vd_until 30 editor_gone || fail "closing the rule editor did not close it"

click 退出
gone() { ! kill -0 "$pid" 2>/dev/null; }
vd_until 20 gone || fail "退出 did not end the program"
pid=""
store_has '"startHidden"=' || fail "startHidden was not stored at the end"
store_has '"AutoConfigURL"="file://' || fail "退出 left the served URL behind"
echo "PASS: item registered, six entries, 禁用/启用 through the menu, left click, 主界面, 设置, 退出"
