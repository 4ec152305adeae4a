#!/usr/bin/env bash
# Start-up benchmark: time from launch to the icon being in the notification area, peak memory,
# private memory once settled and the shared objects mapped at the icon, for Tarnwick and for
# the floor programs (a minimal Qt program with one tray icon and one window, built with the
# same flags; and the same with one Chinese label, the honest floor for a program whose every
# text is Chinese). The programs alternate run by run, and each ratio is taken within a round,
# so a change in the machine's load falls on all of them alike. Runs its own Xvfb with trayer.
# Usage: bench/startup_bench.sh BUILD_DIR [ROUNDS]
# Exits 77 when Xvfb or trayer is missing, 1 when a figure misses its target against the
# Chinese floor (time 1.10x, peak memory 1.12x, shared objects the floor's + 12).
set -euo pipefail
build="$(cd "${1:?usage: startup_bench.sh BUILD_DIR [ROUNDS]}" && pwd)"
runs="${2:-15}"
source "$(dirname "$0")/startup_stats.sh"
probe="$build/bench/tarnwick_startup_probe"
floor="$build/bench/tarnwick_startup_floor"
program="$build/src/Tarnwick"
for tool in Xvfb trayer; do
    command -v "$tool" >/dev/null || { echo "startup_bench: $tool is missing, skipped"; exit 77; }
done

work="$(mktemp -d "${TMPDIR:-/tmp}/tarnwick-bench.XXXXXX")"
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
export DISPLAY=":$(head -n1 "$work/display")"
trayer --edge top --align right --widthtype request --height 24 --transparent false \
    >/dev/null 2>&1 &
pids+=($!)
sleep 1

# The program writes beside its executable and into its registry stand-in: keep both here.
mkdir -p "$work/app" "$work/config"
cp "$program" "$work/app/Tarnwick"
export XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work"
# The switch also sets the desktop's proxy settings: GSettings in a key file under the
# temporary folder, no KDE session, so the real desktop stays as it is.
export GSETTINGS_BACKEND=keyfile XDG_CURRENT_DESKTOP= KDE_FULL_SESSION=
unset DBUS_SESSION_BUS_ADDRESS
export QT_QPA_PLATFORM=xcb

# One run of each to warm the file cache, then the rounds, the order turning each round.
# Each line: start_ms peak_kib private_kib objects.
one() { "$probe" "$@" 2>/dev/null | sed -n 's/start_ms=\([0-9.]*\) peak_kib=\([0-9]*\) private_kib=\([0-9-]*\) objects=\([0-9]*\)/\1 \2 \3 \4/p'; }
programs=(floor label tarnwick)
run() {
    case "$1" in
    floor) one "$floor" ;;
    label) one "$floor" --label ;;
    tarnwick) one "$work/app/Tarnwick" ;;
    esac
}
for p in "${programs[@]}"; do run "$p" >/dev/null || true; : >"$work/$p.txt"; done
for round in $(seq "$runs"); do
    for i in 0 1 2; do
        p="${programs[$(((round + i) % 3))]}"
        line="$(run "$p")"
        [ -n "$line" ] || { echo "startup_bench: $p showed no icon in round $round"; exit 1; }
        echo "$line" >>"$work/$p.txt"
    done
done

status=0
echo "start-up benchmark, $runs rounds, programs alternating; medians (min-max)"
for p in "${programs[@]}"; do
    case "$p" in
    floor) echo "floor" ;;
    label) echo "floor with one Chinese label" ;;
    tarnwick) echo "Tarnwick" ;;
    esac
    figure "start to icon in tray" ms "$work/$p.txt" 1
    figure "peak memory (max RSS)" KiB "$work/$p.txt" 2
    figure "private memory (Private_Dirty)" KiB "$work/$p.txt" 3
    figure "shared objects at the icon" "" "$work/$p.txt" 4
done
echo "Tarnwick against the Chinese floor, paired by round"
verdict "start to icon in tray" "$work/tarnwick.txt" "$work/label.txt" 1 1.10
verdict "peak memory (max RSS)" "$work/tarnwick.txt" "$work/label.txt" 2 1.12
paired_private="$(paired "$work/tarnwick.txt" "$work/label.txt" 3)"
echo "  private memory                   ratio ${paired_private%% *} (no target)"
objects="$(stats "$work/tarnwick.txt" 4 | cut -d' ' -f1)"
floor_objects="$(stats "$work/label.txt" 4 | cut -d' ' -f1)"
ok="$(awk -v a="$objects" -v b="$floor_objects" 'BEGIN { print (a <= b + 12) ? "within target" : "ABOVE TARGET" }')"
[ "$ok" = "within target" ] || status=1
echo "  shared objects at the icon       $objects against $floor_objects ($ok, target <= floor + 12)"
exit $status
