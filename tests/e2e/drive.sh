# Driving the running program with xdotool as a user would; sourced by the end-to-end tests
# after scripts/virtual-display.sh. They set `pid` (the program) and define `fail MESSAGE`.
# Every wait is bounded by wall-clock time and generous: a machine busy with other builds may
# take many times longer than a quiet one, and a wait ends as soon as its condition holds.
#
#   e2e_menu ICON DOWNS          right-button press on the icon, DOWNS x Down, Return
#   e2e_type_list EDITOR Y       opens the type list of the row at Y, prints its window
#   e2e_wait_gone WINDOW MSG     waits until WINDOW is no longer on the screen
#   e2e_wait_end MSG             waits until the program has ended
#   e2e_report                   what the screen, the store and the program showed

# The program's visible windows, one id a line, sorted.
e2e_windows() { xdotool search --onlyvisible --pid "$pid" 2>/dev/null | sort; }

# Sets `e2e_new` to a popup (a menu or a list) of the program that is on the screen and not in
# `e2e_before`. Only a popup counts: a list of windows taken while the machine is busy may
# miss some, and the main window must not pass for a menu; a tool tip is too low to.
_e2e_new_window() {
    local w info
    for w in $(comm -13 <(echo "$e2e_before") <(e2e_windows)); do
        info="$(xwininfo -id "$w" 2>/dev/null)" || continue
        grep -q 'Override Redirect State: yes' <<<"$info" || continue
        grep -q 'Map State: IsViewable' <<<"$info" || continue
        [ "$(awk '/Height:/ { print $2 }' <<<"$info")" -gt 40 ] || continue
        e2e_new="$w"
        return 0
    done
    return 1
}
_e2e_gone() { ! xwininfo -id "$1" 2>/dev/null | grep -q 'Map State: IsViewable'; }
_e2e_ended() { ! kill -0 "$pid" 2>/dev/null; }

e2e_wait_gone() { vd_until 30 _e2e_gone "$1" || fail "$2"; }
e2e_wait_end() { vd_until 60 _e2e_ended || fail "$1"; }

# Waits until MICROS microseconds have passed since SINCE (both in microseconds).
_e2e_spaced() {
    local since="$1" micros="$2"
    while [ $(($(_vd_now) - since)) -lt "$micros" ]; do sleep 0.1; done
}

# Opens the tray menu with a right-button press on the icon and picks the item that is DOWNS
# presses of the Down key away from the top (separators are skipped); the keys reach the open
# popup whichever window has the focus. Returns once the menu has closed again, so that the
# next press opens it anew. Two presses closer than the double-click time make a double-click,
# which opens no menu: the next press waits that long.
e2e_last_press=0
e2e_menu() {
    local icon="$1" downs="$2" i
    _e2e_spaced "$e2e_last_press" 800000
    e2e_before="$(e2e_windows)"
    xdotool mousemove --window "$icon" 8 8 click 3
    e2e_last_press="$(_vd_now)"
    vd_until 30 _e2e_new_window || fail "the tray menu did not open"
    for i in $(seq "$downs"); do xdotool key Down; done
    xdotool key Return
    e2e_wait_gone "$e2e_new" "the tray menu did not close after its item was chosen"
}

# The type cell of the row at Y in the editor, reached from the value cell so that it is a
# selection each time: a click there opens the type editor, a second click on it opens its
# list. Tried again when a busy machine let the list close before it was seen, giving the
# program longer each time; the two clicks on the cell are further apart than the double-click
# time. Prints the list's window.
e2e_type_list() {
    local editor="$1" y="$2" attempt pause
    for attempt in 1 2 3 4 5; do
        pause="0.$((attempt + 4))"
        xdotool mousemove --window "$editor" 260 "$y" click 1
        sleep "$pause"
        xdotool mousemove --window "$editor" 85 "$y" click 1
        sleep "$pause"
        e2e_before="$(e2e_windows)"
        xdotool mousemove --window "$editor" 85 "$y" click 1
        if vd_until $((attempt * 4)) _e2e_new_window; then
            echo "$e2e_new"
            return 0
        fi
        echo "the type list did not open (attempt $attempt); trying again" >&2
        xdotool key Escape
        sleep "$pause"
    done
    return 1
}

# What a failing test saw: the screen (saved as a picture), the windows, the store, the files
# beside the program and its output. Uses `scenario`, `store`, `app` and `work` when set.
e2e_report() {
    local shot="${TMPDIR:-/tmp}/tarnwick-e2e-${scenario:-run}-failure.png" log
    [ -n "${DISPLAY:-}" ] && import -window root "$shot" 2>/dev/null &&
        echo "screen at the failure: $shot"
    if [ -n "${pid:-}" ]; then
        kill -0 "$pid" 2>/dev/null && echo "the program is running (pid $pid)" ||
            echo "the program has ended"
    fi
    [ -n "${DISPLAY:-}" ] && vd_report
    if [ -n "${store:-}" ]; then
        echo "--- registry stand-in ($store):"
        if [ -f "$store" ]; then sed 's/^/    /' "$store"; else echo "    (missing)"; fi
    fi
    if [ -n "${app:-}" ]; then
        echo "--- files beside the program:"
        ls -l "$app" | sed 's/^/    /'
    fi
    for log in "$work"/*.log; do
        case "$log" in */xvfb.log | */trayer.log) continue ;; esac
        [ -f "$log" ] || continue
        echo "--- $(basename "$log"):"
        if [ -s "$log" ]; then sed 's/^/    /' "$log"; else echo "    (empty)"; fi
    done
}
