# Helpers for running the program on a virtual display: Xvfb as the X server and trayer as the
# notification area. Sourced by run.sh, screenshots.sh and the end-to-end test; bash only.
#
#   vd_missing                 prints the first missing tool (Xvfb, trayer, xdotool), if any
#   vd_start DIR               starts Xvfb and trayer, exports DISPLAY; DIR holds their files
#   vd_tray_icon PID [SECS]    waits until PID has an icon in trayer's panel, prints its window
#   vd_window NAME [SECS]      waits for a visible window titled NAME, prints its window
#   vd_stop                    ends trayer and Xvfb

vd_pids=()

vd_missing() {
    local tool
    for tool in Xvfb trayer xdotool xwininfo; do
        command -v "$tool" >/dev/null 2>&1 || { echo "$tool"; return 0; }
    done
    return 1
}

vd_start() {
    local dir="$1" i
    : >"$dir/display"
    # -displayfd picks a free display number and writes it once the server listens.
    Xvfb -displayfd 7 -screen 0 1024x768x24 -nolisten tcp 7>"$dir/display" >"$dir/xvfb.log" 2>&1 &
    vd_pids+=($!)
    for i in $(seq 200); do
        [ -s "$dir/display" ] && break
        sleep 0.05
    done
    [ -s "$dir/display" ] || { echo "Xvfb did not start (see $dir/xvfb.log)" >&2; return 1; }
    export DISPLAY=":$(head -n1 "$dir/display")"
    unset WAYLAND_DISPLAY
    trayer --edge top --align right --widthtype request --height 24 --transparent false \
        --SetDockType true >"$dir/trayer.log" 2>&1 &
    vd_pids+=($!)
    for i in $(seq 200); do
        vd_panel >/dev/null && return 0
        sleep 0.05
    done
    echo "trayer did not start (see $dir/trayer.log)" >&2
    return 1
}

# trayer's panel window: the icons are embedded below it.
vd_panel() {
    xwininfo -root -children 2>/dev/null | awk '/\("panel" "trayer"\)/ { print $1; found = 1; exit }
        END { exit !found }'
}

vd_tray_icon() {
    local pid="$1" secs="${2:-20}" panel tree w i
    for i in $(seq $((secs * 20))); do
        panel="$(vd_panel)" || true
        if [ -n "$panel" ]; then
            tree="$(xwininfo -id "$panel" -tree 2>/dev/null)"
            for w in $(xdotool search --pid "$pid" 2>/dev/null); do
                if grep -qi "$(printf '0x%x ' "$w")" <<<"$tree"; then
                    printf '%d\n' "$w"
                    return 0
                fi
            done
        fi
        kill -0 "$pid" 2>/dev/null || return 1
        sleep 0.05
    done
    return 1
}

vd_window() {
    local name="$1" secs="${2:-10}" i w
    for i in $(seq $((secs * 20))); do
        w="$(xdotool search --onlyvisible --name "^$name\$" 2>/dev/null | head -n1)"
        [ -n "$w" ] && { echo "$w"; return 0; }
        sleep 0.05
    done
    return 1
}

vd_stop() {
    local p
    for p in "${vd_pids[@]}"; do kill "$p" 2>/dev/null || true; done
    for p in "${vd_pids[@]}"; do wait "$p" 2>/dev/null || true; done
    vd_pids=()
}
