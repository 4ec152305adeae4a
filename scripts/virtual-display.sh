# Helpers for running the program on a virtual display: Xvfb as the X server and trayer as the
# notification area. Sourced by run.sh, screenshots.sh and the end-to-end tests; bash only.
#
#   vd_missing                 prints the first missing tool (Xvfb, trayer, xdotool), if any
#   vd_start DIR               starts Xvfb and trayer, exports DISPLAY; DIR holds their files
#                              (VD_SCREEN=WIDTHxHEIGHT sets the screen's size, 1024x768 else)
#   vd_tray_icon PID [SECS]    waits until PID has an icon in trayer's panel, prints its window
#   vd_window NAME [SECS]      waits for a visible window titled NAME, prints its window
#   vd_until SECS COMMAND...   runs COMMAND until it succeeds, for at most SECS seconds
#   vd_report                  prints the visible windows and the logs of Xvfb and trayer
#   vd_stop                    ends trayer and Xvfb
#   vd_session NAME [CMD]      makes the temporary folder `work` (NAME.XXXXXX) and sets `pid`
#                              empty; at exit ends the program `pid`, runs CMD, ends the display
#                              and removes `work`
#   vd_end SECS                ends the program `pid` with SIGTERM and waits for it (SECS at the
#                              most); `pid` is empty again once it has ended
#   vd_private_bus COMMAND...  unless already inside one, runs COMMAND (usually the calling
#                              script again: "$0" "$@") on a session bus of its own and exits
#                              with its status. XDG_CONFIG_HOME, XDG_RUNTIME_DIR and
#                              XDG_CACHE_HOME are temporary folders set before the bus starts,
#                              so dconf, which the bus starts, writes where the program reads,
#                              as on a desktop, and the user's own settings stay as they are.
#                              Inside, VD_PRIVATE_BUS names that folder.
#
# Every wait is bounded by wall-clock time, not by a number of tries. Those of vd_start,
# vd_tray_icon and vd_window last at least VD_MIN_WAIT seconds (30 unless set): a machine busy
# with other builds and tests takes many times longer than a quiet one, and a wait ends as soon
# as what it waits for is there. A wait that runs out says on stderr what it saw instead.

vd_pids=()
vd_dir=""
: "${VD_MIN_WAIT:=30}"

vd_missing() {
    local tool
    for tool in Xvfb trayer xdotool xwininfo; do
        command -v "$tool" >/dev/null 2>&1 || { echo "$tool"; return 0; }
    done
    return 1
}

# Microseconds since the epoch.
_vd_now() {
    local t="${EPOCHREALTIME/[.,]/}"
    echo "${t:-$(($(date +%s) * 1000000))}"
}

# The bound of a wait: what the caller asked for, but never less than VD_MIN_WAIT.
_vd_bound() {
    local secs="${1:-0}"
    [ "$secs" -lt "$VD_MIN_WAIT" ] && secs="$VD_MIN_WAIT"
    echo "$secs"
}

vd_until() {
    local secs="$1" end
    shift
    end=$(($(_vd_now) + secs * 1000000))
    while true; do
        "$@" && return 0
        [ "$(_vd_now)" -lt "$end" ] || return 1
        sleep 0.1
    done
}

# A file's content for a message, indented; says so when there is none.
_vd_show_file() {
    local title="$1" file="$2"
    echo "--- $title ($file):"
    if [ -s "$file" ]; then
        sed 's/^/    /' "$file"
    else
        echo "    (empty)"
    fi
}

# Reports a process of ours that is already gone, with its log.
_vd_ended() {
    local pid="$1" name="$2" log="$3"
    kill -0 "$pid" 2>/dev/null && return 1
    wait "$pid" 2>/dev/null
    echo "$name ended before it was ready (status $?)." >&2
    _vd_show_file "$name output" "$log" >&2
    return 0
}

vd_start() {
    local dir="$1" attempt
    vd_dir="$dir"
    # Another X server starting at the same moment (other tests, xvfb-run) can take the display
    # from under the new one; starting again on a fresh display number gets past that.
    for attempt in 1 2 3; do
        _vd_start_once "$dir" && return 0
        vd_stop
        [ "$attempt" -lt 3 ] && echo "vd_start: starting the virtual display again" >&2
    done
    return 1
}

_vd_start_once() {
    local dir="$1" bound end xvfb trayer
    bound="$(_vd_bound 60)"
    : >"$dir/display"
    # -displayfd picks a free display number and writes it once the server listens.
    Xvfb -displayfd 7 -screen 0 "${VD_SCREEN:-1024x768}x24" -nolisten tcp 7>"$dir/display" >"$dir/xvfb.log" 2>&1 &
    xvfb=$!
    vd_pids+=("$xvfb")
    end=$(($(_vd_now) + bound * 1000000))
    until [ -s "$dir/display" ]; do
        _vd_ended "$xvfb" Xvfb "$dir/xvfb.log" && return 1
        if [ "$(_vd_now)" -ge "$end" ]; then
            echo "Xvfb did not start within $bound s." >&2
            _vd_show_file "Xvfb output" "$dir/xvfb.log" >&2
            return 1
        fi
        sleep 0.1
    done
    export DISPLAY=":$(head -n1 "$dir/display")"
    unset WAYLAND_DISPLAY
    if ! xwininfo -root >/dev/null 2>"$dir/connect.log"; then
        echo "Xvfb reported $DISPLAY but takes no connection:" >&2
        _vd_show_file "connection error" "$dir/connect.log" >&2
        _vd_show_file "Xvfb output" "$dir/xvfb.log" >&2
        return 1
    fi
    trayer --edge top --align right --widthtype request --height 24 --transparent false \
        --SetDockType true >"$dir/trayer.log" 2>&1 &
    trayer=$!
    vd_pids+=("$trayer")
    end=$(($(_vd_now) + bound * 1000000))
    until vd_panel >/dev/null; do
        _vd_ended "$trayer" trayer "$dir/trayer.log" && return 1
        if [ "$(_vd_now)" -ge "$end" ]; then
            echo "trayer did not show its panel on $DISPLAY within $bound s." >&2
            _vd_show_file "trayer output" "$dir/trayer.log" >&2
            echo "--- top-level windows:" >&2
            xwininfo -root -children 2>&1 | sed 's/^/    /' >&2
            return 1
        fi
        sleep 0.1
    done
}

# trayer's panel window: the icons are embedded below it.
vd_panel() {
    xwininfo -root -children 2>/dev/null | awk '/\("panel" "trayer"\)/ { print $1; found = 1; exit }
        END { exit !found }'
}

# The window of PID docked below trayer's panel, if any.
_vd_docked() {
    local pid="$1" panel tree w
    panel="$(vd_panel)" || return 1
    tree="$(xwininfo -id "$panel" -tree 2>/dev/null)"
    for w in $(xdotool search --pid "$pid" 2>/dev/null); do
        if grep -qi "$(printf '0x%x ' "$w")" <<<"$tree"; then
            printf '%d\n' "$w"
            return 0
        fi
    done
    return 1
}

vd_tray_icon() {
    local pid="$1" secs end panel
    secs="$(_vd_bound "${2:-60}")"
    end=$(($(_vd_now) + secs * 1000000))
    while true; do
        _vd_docked "$pid" && return 0
        if ! kill -0 "$pid" 2>/dev/null; then
            echo "vd_tray_icon: process $pid ended before its icon was seen in the panel." >&2
            return 1
        fi
        [ "$(_vd_now)" -lt "$end" ] || break
        sleep 0.1
    done
    {
        echo "vd_tray_icon: no icon of process $pid in the notification area after $secs s."
        if panel="$(vd_panel)"; then
            echo "--- trayer's panel:"
            xwininfo -id "$panel" -tree 2>&1 | sed 's/^/    /'
        else
            echo "--- trayer's panel is gone."
        fi
        echo "--- windows of process $pid:"
        _vd_list_windows --pid "$pid"
    } >&2
    return 1
}

vd_window() {
    local name="$1" secs end w
    secs="$(_vd_bound "${2:-30}")"
    end=$(($(_vd_now) + secs * 1000000))
    while true; do
        w="$(xdotool search --onlyvisible --name "^$name\$" 2>/dev/null | head -n1)"
        [ -n "$w" ] && { echo "$w"; return 0; }
        [ "$(_vd_now)" -lt "$end" ] || break
        sleep 0.1
    done
    {
        echo "vd_window: no visible window titled \"$name\" after $secs s. Visible windows:"
        _vd_list_windows --onlyvisible --name ''
    } >&2
    return 1
}

# One line per window that `xdotool search ARGUMENTS` finds: id, geometry and title.
_vd_list_windows() {
    local w found=0
    for w in $(xdotool search "$@" 2>/dev/null); do
        found=1
        printf '    %d %s "%s"\n' "$w" \
            "$(xwininfo -id "$w" 2>/dev/null | awk '/-geometry/ { print $2 }')" \
            "$(xdotool getwindowname "$w" 2>/dev/null)"
    done
    [ "$found" -eq 1 ] || echo "    (none)"
}

vd_report() {
    echo "--- visible windows on $DISPLAY:"
    _vd_list_windows --onlyvisible --name ''
    if [ -n "$vd_dir" ]; then
        _vd_show_file "Xvfb output" "$vd_dir/xvfb.log"
        _vd_show_file "trayer output" "$vd_dir/trayer.log"
    fi
}

vd_stop() {
    local p
    for p in "${vd_pids[@]}"; do kill "$p" 2>/dev/null || true; done
    for p in "${vd_pids[@]}"; do wait "$p" 2>/dev/null || true; done
    vd_pids=()
}

vd_session() {
    work="$(mktemp -d "${TMPDIR:-/tmp}/$1.XXXXXX")"
    pid=""
    _vd_at_exit="${2:-}"
    trap _vd_finish EXIT
}

_vd_finish() {
    [ -n "${pid:-}" ] && kill "$pid" 2>/dev/null || true
    [ -z "$_vd_at_exit" ] || $_vd_at_exit
    vd_stop
    rm -rf "$work"
}

vd_private_bus() {
    [ -n "${VD_PRIVATE_BUS:-}" ] && return 0
    if ! command -v dbus-run-session >/dev/null 2>&1; then
        echo "dbus-run-session is missing; scripts/setup.sh installs it (package dbus)." >&2
        exit 1
    fi
    local dir status
    dir="$(mktemp -d "${TMPDIR:-/tmp}/tarnwick-session.XXXXXX")"
    mkdir -p "$dir/config" "$dir/runtime" "$dir/cache"
    chmod 700 "$dir/runtime"
    (
        export VD_PRIVATE_BUS="$dir" XDG_CONFIG_HOME="$dir/config" XDG_RUNTIME_DIR="$dir/runtime" \
            XDG_CACHE_HOME="$dir/cache" XDG_CURRENT_DESKTOP= KDE_FULL_SESSION=
        unset DBUS_SESSION_BUS_ADDRESS GSETTINGS_BACKEND
        exec dbus-run-session -- "$@"
    )
    status=$?
    rm -rf "$dir"
    exit "$status"
}

_vd_program_gone() { ! kill -0 "$pid" 2>/dev/null; }

vd_end() {
    kill -TERM "$pid" 2>/dev/null || true
    vd_until "$1" _vd_program_gone || return 1
    wait "$pid" 2>/dev/null || true
    pid=""
}
