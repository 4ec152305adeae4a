#!/usr/bin/env bash
# A real browser follows the rules: the real program on a virtual display (Xvfb, trayer,
# xdotool) gets two host-name rules through its editor, each naming a recording proxy of its
# own on 127.0.0.1; with the switch on, a browser that takes the desktop's proxy settings
# visits both hosts and each request must reach the proxy its rule names; with the switch off
# it must reach neither. The desktop is GNOME-like, its settings GSettings in a key file under
# a temporary XDG_CONFIG_HOME; HOME and every other folder are temporary too, and the
# program runs from a folder whose name needs percent-encoding in a URL.
# With nothing touched the script is served over loopback HTTP (Chromium refuses a file://
# script), so Chromium must follow the rules as Firefox does; after the end the desktop's URL is
# the file:// one again and nothing listens on the port.
# Usage: BrowserProxy.sh TARNWICK_EXECUTABLE SOURCE_DIR BROWSER
#   BROWSER: one that tests/e2e/browse.py drives (firefox, chromium).
# Exit 77: a tool or the browser is missing. Every wait is bounded by wall-clock time and
# generous; a failure prints what the screen, the store, the proxies and the program showed.
set -uo pipefail
program="$1"
source_dir="$2"
browser="${3:-firefox}"
e2e="$source_dir/tests/e2e"
source "$source_dir/scripts/virtual-display.sh"
source "$e2e/drive.sh"

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
scenario="browser-$browser"
fail() {
    echo "FAIL: $*"
    e2e_report
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
proxies_listen() { [ -s "$work/alpha.port" ] && [ -s "$work/beta.port" ]; }
vd_until 30 proxies_listen
alpha_port="$(cat "$work/alpha.port" 2>/dev/null)" && beta_port="$(cat "$work/beta.port" 2>/dev/null)" ||
    fail "the recording proxies did not start"

# The user had a manual proxy before: off must give it back.
gsettings set org.gnome.system.proxy mode manual

vd_start "$work" || fail "no virtual display"
"$app/Tarnwick" >"$work/program.log" 2>&1 &
pid=$!
icon="$(vd_tray_icon "$pid" 60)" || fail "the icon did not appear in the notification area"

desktop_mode() { gsettings get org.gnome.system.proxy mode; }
url="file://$(printf '%s' "$app" | sed 's/ /%20/g')/IETarnwick.pac"
desktop_mode_is() { [ "$(desktop_mode)" = "'$1'" ]; }
vd_until 30 desktop_mode_is auto || fail "the start did not point the desktop at the script"
# Nothing touched: a fresh start serves the script, which Chromium needs (it refuses file://).
desktop_url() { gsettings get org.gnome.system.proxy autoconfig-url; }
desktop_serves() { case "$(desktop_url)" in "'http://127.0.0.1:"*) return 0 ;; esac; return 1; }
vd_until 30 desktop_serves
http_url="$(desktop_url | tr -d "'")"
case "$http_url" in
http://127.0.0.1:*/IETarnwick.pac\?v=*) ;;
*) fail "a fresh start did not point the desktop at the served script: $http_url" ;;
esac

menu() { e2e_menu "$icon" "$1"; }

menu 2 # 设置
editor="$(vd_window '设置参数' 30)" || fail "the rule editor did not open"
editor_height="$(xwininfo -id "$editor" | awk '/Height:/ { print $2 }')"
xdotool mousemove --window "$editor" 400 $((editor_height - 25)) click 1
sleep 0.3

# One host-name rule ("域名", the second type) in the row at y: host and proxy.
rule() {
    local y="$1" host="$2" proxy="$3" list height
    list="$(e2e_type_list "$editor" "$y")" || fail "the type list did not open"
    height="$(xwininfo -id "$list" | awk '/Height:/ { print $2 }')"
    xdotool mousemove --window "$list" 40 $((height * 3 / 8)) click 1
    e2e_wait_gone "$list" "the type list did not close on a click on an entry"
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
e2e_wait_gone "$editor" "OK did not close the editor"
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

# The OK above changed the script, and with it the served URL.
http_url="$(desktop_url | tr -d "'")"
grep -qF "\"AutoConfigURL\"=\"$http_url\"" "$store" || fail "the registry stand-in lacks $http_url"
grep -qF '"servePac"="true"' "$store" || fail "serving was not stored as the default"

visit on
[ "$(seen alpha.tarnwick.test)" = alpha ] ||
    fail "switch on: alpha.tarnwick.test reached [$(seen alpha.tarnwick.test)], not [alpha]"
[ "$(seen beta.tarnwick.test)" = beta ] ||
    fail "switch on: beta.tarnwick.test reached [$(seen beta.tarnwick.test)], not [beta]"

menu 3 # 禁用: the switch off
vd_until 30 desktop_mode_is manual || fail "off did not give the manual proxy back: $(desktop_mode)"
store_has() { grep -qF -- "$1" "$store" 2>/dev/null; }
vd_until 30 store_has '"AutoConfigURL"=""' || fail "off did not clear the registry stand-in"
# Manual with no proxy host: the browser goes direct, and the hosts do not resolve.
: >"$work/alpha-proxy.log"
: >"$work/beta-proxy.log"
visit off
[ -z "$(seen alpha.tarnwick.test)$(seen beta.tarnwick.test)" ] ||
    fail "switch off: the hosts still reached [$(seen alpha.tarnwick.test)] and [$(seen beta.tarnwick.test)]"

menu 3 # 启用: on again, served, for the end below
vd_until 30 desktop_serves || fail "on did not point the desktop at the served script again"
kill -TERM "$pid"
e2e_wait_end "SIGTERM did not end the program"
wait "$pid"
pid=""
# The end leaves the switch on at the file and then closes the server: no dead port is left
# for another process to answer at.
[ "$(desktop_url)" = "'$url'" ] || fail "the end left the desktop at $(desktop_url), not $url"
port="${http_url#http://127.0.0.1:}"
port="${port%%/*}"
(exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && fail "the script is still served after the end"
echo "PASS: $browser took each host to the proxy its rule names with the switch on (served over http by default, back at file:// after the end), and to neither with it off"
