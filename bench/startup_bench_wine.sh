#!/usr/bin/env bash
# Start-up benchmark of the Windows program under Wine: time from launching the process to its
# icon being docked in the notification area (trayer on a private Xvfb), and its peak working
# set (the Wine process's peak resident size), for Tarnwick.exe and for the floor program
# (bench/startup_floor_win32.cpp: one window, one icon, built with the same flags). Also the
# executable's size. Wine's own start is in both figures; the first run of each warms caches.
# For reading the figures, the floor also runs with the program's manifest (common controls 6,
# DPI awareness), which is part of the start under Wine; the target is against the bare floor.
# Usage: bench/startup_bench_wine.sh BUILD_DIR [RUNS]
# Exits 77 when a tool is missing, 1 when a figure misses its target (start within 1.2 times
# the floor, executable under 2 MB).
set -uo pipefail
build="$(cd "${1:?usage: startup_bench_wine.sh BUILD_DIR [RUNS]}" && pwd)"
runs="${2:-9}"
root="$(cd "$(dirname "$0")/.." && pwd)"
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

# one EXE: prints "start_ms peak_kib" for one run
one() {
    local exe="$1" t0 t1 i peak
    t0="$(date +%s%N)"
    wine "$exe" >/dev/null 2>&1 &
    pid=$!
    for i in $(seq 3000); do
        [ "$(wine_tray_icons)" -gt 0 ] && break
        sleep 0.005
    done
    t1="$(date +%s%N)"
    sleep 1
    peak="$(awk '/^VmHWM:/ { print $2 }' "/proc/$pid/status" 2>/dev/null)"
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    pid=""
    for i in $(seq 200); do
        [ "$(wine_tray_icons)" -eq 0 ] && break
        sleep 0.01
    done
    echo "$(((t1 - t0) / 1000000)) ${peak:-0}"
}

median() { sort -n | awk '{ a[NR] = $1 } END { print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2 }'; }

one "$work/app/floor.exe" >/dev/null
one "$work/app/floor-manifest.exe" >/dev/null
one "$work/app/Tarnwick.exe" >/dev/null
: >"$work/floor.txt"
: >"$work/floor-manifest.txt"
: >"$work/tarnwick.txt"
for _ in $(seq "$runs"); do
    one "$work/app/floor.exe" >>"$work/floor.txt"
    one "$work/app/floor-manifest.exe" >>"$work/floor-manifest.txt"
    one "$work/app/Tarnwick.exe" >>"$work/tarnwick.txt"
done
ft="$(cut -d' ' -f1 "$work/floor.txt" | median)"
fm="$(cut -d' ' -f2 "$work/floor.txt" | median)"
fmt="$(cut -d' ' -f1 "$work/floor-manifest.txt" | median)"
tt="$(cut -d' ' -f1 "$work/tarnwick.txt" | median)"
tm="$(cut -d' ' -f2 "$work/tarnwick.txt" | median)"
size="$(stat -c %s "$program")"

status=0
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
echo "Windows start-up benchmark under Wine, median of $runs runs each"
rt="$(ratio "$tt" "$ft")"
verdict="$(awk -v r="$rt" 'BEGIN { print (r <= 1.2) ? "within target" : "ABOVE TARGET" }')"
[ "$verdict" = "within target" ] || status=1
printf 'start to icon in tray   floor %6s ms   Tarnwick.exe %6s ms   ratio %s (%s, target <= 1.20)\n' \
    "$ft" "$tt" "$rt" "$verdict"
printf '  (the floor with the program'"'"'s manifest: %s ms, ratio to it %s)\n' "$fmt" "$(ratio "$tt" "$fmt")"
printf 'peak working set        floor %6s KiB  Tarnwick.exe %6s KiB  ratio %s\n' \
    "$fm" "$tm" "$(ratio "$tm" "$fm")"
verdict="$(awk -v s="$size" 'BEGIN { print (s < 2097152) ? "within target" : "ABOVE TARGET" }')"
[ "$verdict" = "within target" ] || status=1
printf 'Tarnwick.exe size       %s bytes (%s, target < 2 MB)\n' "$size" "$verdict"
exit $status
