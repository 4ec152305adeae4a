#!/usr/bin/env bash
# Start-up benchmark: time from launch to the icon being in the notification area, and peak
# memory, for Tarnwick and for the floor program (a minimal Qt program with one tray icon and one
# window, built with the same flags). Runs its own Xvfb with trayer as the notification area.
# Usage: bench/startup_bench.sh BUILD_DIR [RUNS]
# Exits 77 when Xvfb or trayer is missing, 1 when a figure is above 1.3 times the floor.
set -euo pipefail
build="$(cd "${1:?usage: startup_bench.sh BUILD_DIR [RUNS]}" && pwd)"
runs="${2:-15}"
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

"$probe" 2 "$floor" >/dev/null 2>&1 || true # warm the file cache for both
"$probe" 2 "$work/app/Tarnwick" >/dev/null 2>&1 || true
floor_line="$("$probe" "$runs" "$floor" 2>/dev/null | tail -n1)"
label_line="$("$probe" "$runs" "$floor" --label 2>/dev/null | tail -n1)"
tarnwick_line="$("$probe" "$runs" "$work/app/Tarnwick" 2>/dev/null | tail -n1)"

figure() { sed -n "s/.*$2=\([0-9.]*\).*/\1/p" <<<"$1"; }
ft="$(figure "$floor_line" start_ms)"; fm="$(figure "$floor_line" peak_kib)"
tt="$(figure "$tarnwick_line" start_ms)"; tm="$(figure "$tarnwick_line" peak_kib)"
status=0
report() { # name floor tarnwick unit
    local ratio verdict
    ratio="$(awk -v a="$3" -v b="$2" 'BEGIN { printf "%.2f", a / b }')"
    verdict="$(awk -v r="$ratio" 'BEGIN { print (r <= 1.3) ? "within target" : "ABOVE TARGET" }')"
    [ "$verdict" = "within target" ] || status=1
    printf '%-28s floor %9s %-3s  Tarnwick %9s %-3s  ratio %s (%s, target <= 1.30)\n' \
        "$1" "$2" "$4" "$3" "$4" "$ratio" "$verdict"
}
echo "startup benchmark, median of $runs runs each"
report "start to icon in tray" "$ft" "$tt" ms
report "peak memory (max RSS)" "$fm" "$tm" KiB
# For reading the figures: the floor with one line of Chinese text (fonts, shaping), no target.
echo "floor with one Chinese label: start_ms $(figure "$label_line" start_ms)," \
    "peak_kib $(figure "$label_line" peak_kib)"
exit $status
