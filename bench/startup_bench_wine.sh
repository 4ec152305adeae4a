#!/usr/bin/env bash
# Start-up benchmark of the Windows program under Wine: time from launching the process to its
# icon being docked in the notification area (trayer on a private Xvfb), its peak working set
# (the Wine process's peak resident size) and its private memory once settled, for Tarnwick.exe
# and for the floor program (bench/startup_floor_win32.cpp: one window, one icon, built with the
# same flags), which also runs with one Chinese label (the floor the targets are against) and
# with the program's manifest (common controls 6, DPI awareness: what the manifest alone costs
# under Wine). Also the executable's size. Wine's own start is in every figure; the first run of
# each warms caches. The programs alternate run by run, the order turning each round, and each
# ratio is taken within a round, so a change in the machine's load falls on all alike.
# Usage: bench/startup_bench_wine.sh BUILD_DIR [ROUNDS]
# Exits 77 when a tool is missing, 1 when a figure misses its target (start within 1.10 times
# and peak working set within 1.15 times the Chinese floor, executable under 2 MB).
set -uo pipefail
build="$(cd "${1:?usage: startup_bench_wine.sh BUILD_DIR [RUNS]}" && pwd)"
runs="${2:-9}"
root="$(cd "$(dirname "$0")/.." && pwd)"
source "$root/bench/startup_stats.sh"
source "$root/scripts/virtual-display.sh"
source "$root/scripts/wine-env.sh"
if missing="$(vd_missing || wine_missing)"; then
    echo "startup_bench_wine: $missing is missing, skipped"
    exit 77
fi
program="$build/src/Tarnwick.exe"
floor="$build/bench/tarnwick_startup_floor_win32.exe"
floor_manifest="$build/bench/tarnwick_startup_floor_win32_manifest.exe"

work="$(mktemp -d "${TMPDIR:-/tmp}/tarnwick-bench-wine.XXXXXX")"
pid=""
cleanup() {
    [ -n "$pid" ] && kill "$pid" 2>/dev/null
    wine_stop
    vd_stop
    rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/app"
cp "$program" "$work/app/Tarnwick.exe"
cp "$floor" "$work/app/floor.exe"
cp "$floor_manifest" "$work/app/floor-manifest.exe"
wine_locale "$work/locale" || exit 1
wine_prefix "${TARNWICK_WINEPREFIX:+$TARNWICK_WINEPREFIX-bench}"
vd_start "$work" || exit 1
# Wine's desktop process (which holds the notification area's icons) is started once, by a
# first run that is not counted, and then serves every measured run alike.

# one EXE [ARG]: prints "start_ms peak_kib private_kib" for one run
one() {
    local exe="$1" t0 t1 i peak private
    t0="$(date +%s%N)"
    wine "$exe" "${@:2}" >/dev/null 2>&1 &
    pid=$!
    for i in $(seq 3000); do
        [ "$(wine_tray_icons)" -gt 0 ] && break
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.005
    done
    t1="$(date +%s%N)"
    if [ "$(wine_tray_icons)" -eq 0 ]; then
        kill "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
        pid=""
        echo "startup_bench_wine: $exe showed no icon" >&2
        return 1
    fi
    sleep 1
    peak="$(awk '/^VmHWM:/ { print $2 }' "/proc/$pid/status" 2>/dev/null)"
    private="$(awk '/^Private_Dirty:/ { print $2 }' "/proc/$pid/smaps_rollup" 2>/dev/null)"
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    pid=""
    for i in $(seq 200); do
        [ "$(wine_tray_icons)" -eq 0 ] && break
        sleep 0.01
    done
    echo "$(((t1 - t0) / 1000000)) ${peak:-0} ${private:-0}"
}

programs=(floor label manifest tarnwick)
run() {
    case "$1" in
    floor) one "$work/app/floor.exe" ;;
    label) one "$work/app/floor.exe" --label ;;
    manifest) one "$work/app/floor-manifest.exe" ;;
    tarnwick) one "$work/app/Tarnwick.exe" ;;
    esac
}
for p in "${programs[@]}"; do run "$p" >/dev/null || exit 1; : >"$work/$p.txt"; done
for round in $(seq "$runs"); do
    for i in 0 1 2 3; do
        p="${programs[$(((round + i) % 4))]}"
        run "$p" >>"$work/$p.txt" || exit 1
    done
done
size="$(stat -L -c %s "$program")"

status=0
echo "Windows start-up benchmark under Wine, $runs rounds, programs alternating; medians (min-max)"
for p in "${programs[@]}"; do
    case "$p" in
    floor) echo "floor" ;;
    label) echo "floor with one Chinese label" ;;
    manifest) echo "floor with the program's manifest" ;;
    tarnwick) echo "Tarnwick.exe" ;;
    esac
    figure "start to icon in tray" ms "$work/$p.txt" 1
    figure "peak working set" KiB "$work/$p.txt" 2
    figure "private memory (Private_Dirty)" KiB "$work/$p.txt" 3
done
echo "Tarnwick.exe against the Chinese floor, paired by round"
verdict "start to icon in tray" "$work/tarnwick.txt" "$work/label.txt" 1 1.10
verdict "peak working set" "$work/tarnwick.txt" "$work/label.txt" 2 1.15
echo "  against the floor with the manifest: start $(paired "$work/tarnwick.txt" "$work/manifest.txt" 1 | cut -d' ' -f1)," \
    "peak working set $(paired "$work/tarnwick.txt" "$work/manifest.txt" 2 | cut -d' ' -f1)"
ok="$(awk -v s="$size" 'BEGIN { print (s < 2097152) ? "within target" : "ABOVE TARGET" }')"
[ "$ok" = "within target" ] || status=1
printf '  Tarnwick.exe size                %s bytes (%s, target < 2 MB)\n' "$size" "$ok"
exit $status
