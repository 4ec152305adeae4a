#!/usr/bin/env bash
# A real browser follows the rules: the real program on a virtual display (Xvfb, trayer,
# xdotool) gets two host-name rules through its editor, each naming a recording proxy of its
# own on 127.0.0.1; with the switch on, a browser that takes the desktop's proxy settings
# visits both hosts and each request must reach the proxy its rule names; with the switch off
# it must reach neither. The desktop is GNOME-like, its settings GSettings in a key file under
# a temporary XDG_CONFIG_HOME; HOME and every other folder are temporary too, and the
# program runs from a folder whose name needs percent-encoding in a URL.
# Usage: BrowserProxy.sh TARNWICK_EXECUTABLE SOURCE_DIR BROWSER
#   BROWSER: one that tests/e2e/browse.py drives (firefox).
# Exit 77: a tool or the browser is missing.
set -uo pipefail
program="$1"
source_dir="$2"
browser="${3:-firefox}"
e2e="$source_dir/tests/e2e"
source "$source_dir/scripts/virtual-display.sh"

if missing="$(vd_missing)"; then
    echo "SKIP: $missing is missing (scripts/setup.sh installs it)"
    exit 77
fi
for tool in python3 gsettings; do
    command -v "$tool" >/dev/null || {
        echo "SKIP: $tool is missing (scripts/setup.sh installs it)"
        exit 77
    }
done

work="$(mktemp -d "${TMPDIR:-/tmp}/tarnwick-browser.XXXXXX")"
pid=""
proxies=()
finish() {
    [ -n "$pid" ] && kill -9 "$pid" 2>/dev/null
    for p in "${proxies[@]}"; do kill "$p" 2>/dev/null; done
    vd_stop
    rm -rf "$work"
}
trap finish EXIT
fail() {
    echo "FAIL: $*"
    import -window root "$work/failure.png" 2>/dev/null &&
        cp "$work/failure.png" "${TMPDIR:-/tmp}/tarnwick-browser-failure.png" &&
        echo "screen at the failure: ${TMPDIR:-/tmp}/tarnwick-browser-failure.png"
    for log in "$work"/*.log; do sed "s|^|$(basename "$log"): |" "$log"; done
    exit 1
}

app="$work/app dir"
mkdir -p "$app" "$work/config" "$work/runtime" "$work/home" "$work/cache"
chmod 700 "$work/runtime"
cp "$program" "$app/Tarnwick"
export HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime"
export XDG_CACHE_HOME="$work/cache" QT_QPA_PLATFORM=xcb
export XDG_CURRENT_DESKTOP=GNOME GSETTINGS_BACKEND=keyfile
unset DBUS_SESSION_BUS_ADDRESS KDE_FULL_SESSION
store="$work/config/tarnwick/HKEY_CURRENT_USER.reg"

# The two recording proxies.
for name in alpha beta; do
    python3 "$e2e/recording_proxy.py" "$work/$name.port" "$work/$name-proxy.log" 600 &
    proxies+=($!)
done
for i in $(seq 100); do
    [ -s "$work/alpha.port" ] && [ -s "$work/beta.port" ] && break
    sleep 0.05
done
alpha_port="$(cat "$work/alpha.port" 2>/dev/null)" && beta_port="$(cat "$work/beta.port" 2>/dev/null)" ||
    fail "the recording proxies did not start"

# The user had a manual proxy before: off must give it back.
gsettings set org.gnome.system.proxy mode manual

vd_start "$work" || fail "no virtual display"
"$app/Tarnwick" >"$work/program.log" 2>&1 &
pid=$!
icon="$(vd_tray_icon "$pid" 20)" || fail "the icon did not appear in the notification area"

desktop_mode() { gsettings get org.gnome.system.proxy mode; }
url="file://$(printf '%s' "$app" | sed 's/ /%20/g')/IETarnwick.pac"
for i in $(seq 100); do
    [ "$(desktop_mode)" = "'auto'" ] && break
    sleep 0.05
done
[ "$(desktop_mode)" = "'auto'" ] || fail "the start did not point the desktop at the script"
[ "$(gsettings get org.gnome.system.proxy autoconfig-url)" = "'$url'" ] ||
    fail "the desktop's script URL is $(gsettings get org.gnome.system.proxy autoconfig-url), not $url"

windows() { xdotool search --onlyvisible --pid "$pid" 2>/dev/null | wc -l; }
# Opens the tray menu and picks the item `downs` presses of Down from the top.
menu() {
    local downs="$1" before i
    before="$(windows)"
    xdotool mousemove --window "$icon" 8 8 click 3
    for i in $(seq 100); do
        [ "$(windows)" -gt "$before" ] && break
        sleep 0.05
    done
    [ "$(windows)" -gt "$before" ] || fail "the tray menu did not open"
    sleep 0.1
    for i in $(seq "$downs"); do xdotool key Down; done
    xdotool key Return
    sleep 0.3
}

menu 2 # 设置
editor="$(vd_window '设置参数' 10)" || fail "the rule editor did not open"
editor_height="$(xwininfo -id "$editor" | awk '/Height:/ { print $2 }')"
xdotool mousemove --window "$editor" 400 $((editor_height - 25)) click 1
sleep 0.3

# One host-name rule ("域名", the second type) in the row at y: host and proxy.
rule() {
    local y="$1" host="$2" proxy="$3" list="" attempt i before height
    for attempt in 1 2 3; do
        xdotool mousemove --window "$editor" 260 "$y" click 1
        sleep 0.3
        xdotool mousemove --window "$editor" 85 "$y" click 1
        sleep 0.4
        before="$(xdotool search --onlyvisible --pid "$pid" 2>/dev/null | sort)"
        xdotool mousemove --window "$editor" 85 "$y" click 1
        for i in $(seq 40); do
            list="$(comm -13 <(echo "$before") \
                <(xdotool search --onlyvisible --pid "$pid" 2>/dev/null | sort) | head -n1)"
            [ -n "$list" ] && break 2
            sleep 0.05
        done
        xdotool key Escape
        sleep 0.3
    done
    [ -n "$list" ] || fail "the type list did not open"
    height="$(xwininfo -id "$list" | awk '/Height:/ { print $2 }')"
    xdotool mousemove --window "$list" 40 $((height * 3 / 8)) click 1
    sleep 0.3
    xdotool mousemove --window "$editor" 260 "$y" click 1
    sleep 0.2
    xdotool type --delay 20 "$host"
    xdotool key Return
    sleep 0.2
    xdotool mousemove --window "$editor" 430 "$y" click 1
    sleep 0.2
    xdotool type --delay 20 "$proxy"
    xdotool key Return
    sleep 0.2
}
rule 69 alpha.tarnwick.test "127.0.0.1:$alpha_port"
rule 93 beta.tarnwick.test "127.0.0.1:$beta_port"
xdotool mousemove --window "$editor" 56 $((editor_height - 25)) click 1 # 确定 (OK)
for i in $(seq 60); do
    xdotool search --onlyvisible --name '^设置参数$' >/dev/null 2>&1 || break
    sleep 0.05
done
xdotool search --onlyvisible --name '^设置参数$' >/dev/null 2>&1 && fail "OK did not close the editor"
grep -q "alpha.tarnwick.test" "$app/IETarnwick.pac" && grep -q "beta.tarnwick.test" "$app/IETarnwick.pac" ||
    fail "the PAC file lacks the rules: $(cat "$app/IETarnwick.pac")"

# Which proxies saw a request for the host.
seen() {
    local host="$1" who=""
    grep -q " $host" "$work/alpha-proxy.log" && who="$who alpha"
    grep -q " $host" "$work/beta-proxy.log" && who="$who beta"
    echo "${who# }"
}
visit() {
    timeout 150 python3 "$e2e/browse.py" "$browser" "$work/profile-$1" \
        http://alpha.tarnwick.test/ http://beta.tarnwick.test/ >"$work/browser-$1.log" 2>&1
    local status=$?
    [ "$status" -eq 77 ] && { cat "$work/browser-$1.log"; exit 77; }
    [ "$status" -eq 0 ] || fail "the browser run ($1) ended with status $status"
}

visit on
[ "$(seen alpha.tarnwick.test)" = alpha ] ||
    fail "switch on: alpha.tarnwick.test reached [$(seen alpha.tarnwick.test)], not [alpha]"
[ "$(seen beta.tarnwick.test)" = beta ] ||
    fail "switch on: beta.tarnwick.test reached [$(seen beta.tarnwick.test)], not [beta]"

menu 3 # 禁用: the switch off
for i in $(seq 100); do
    [ "$(desktop_mode)" = "'manual'" ] && break
    sleep 0.05
done
[ "$(desktop_mode)" = "'manual'" ] || fail "off did not give the manual proxy back: $(desktop_mode)"
grep -qF '"AutoConfigURL"=""' "$store" || fail "off did not clear the registry stand-in"
# Manual with no proxy host: the browser goes direct, and the hosts do not resolve.
: >"$work/alpha-proxy.log"
: >"$work/beta-proxy.log"
visit off
[ -z "$(seen alpha.tarnwick.test)$(seen beta.tarnwick.test)" ] ||
    fail "switch off: the hosts still reached [$(seen alpha.tarnwick.test)] and [$(seen beta.tarnwick.test)]"

kill -TERM "$pid"
for i in $(seq 100); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.05
done
kill -0 "$pid" 2>/dev/null && fail "SIGTERM did not end the program"
wait "$pid"
pid=""
echo "PASS: $browser took each host to the proxy its rule names with the switch on, and to neither with it off"
