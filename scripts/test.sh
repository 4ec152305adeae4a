#!/usr/bin/env bash
# Sets up the machine, builds both targets and runs every test: the Linux tests natively,
# the Windows tests under Wine (in a throw-away prefix), then each fuzz target briefly.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"

"$root/scripts/setup.sh"
"$root/scripts/build.sh" all

status=0
echo "== Linux tests"
# As root (CI's fresh machine), the package test installs the .deb and removes it again;
# TARNWICK_PACKAGE_TEST=0 leaves the machine's packages alone.
export TARNWICK_PACKAGE_TEST="${TARNWICK_PACKAGE_TEST:-1}"
QT_QPA_PLATFORM=offscreen ctest --test-dir "$root/build/linux" --output-on-failure \
    -j "$(nproc)" || status=1

echo "== Windows tests (Wine)"
TARNWICK_WINEPREFIX="$(mktemp -d "${TMPDIR:-/tmp}/tarnwick-wine.XXXXXX")"
export TARNWICK_WINEPREFIX
# The GUI tests (end to end, screenshots) keep a prefix of their own beside it: "-gui".
cleanup_wine() {
    local prefix
    # The prefixes of the runs at other DPIs too.
    for prefix in "$TARNWICK_WINEPREFIX" "$TARNWICK_WINEPREFIX-gui" "$TARNWICK_WINEPREFIX"-dpi*; do
        WINEPREFIX="$prefix" wineserver -k 2>/dev/null || true
        rm -rf "$prefix"
    done
}
trap cleanup_wine EXIT
ctest --test-dir "$root/build/windows" --output-on-failure || status=1

if [ -x "$root/scripts/fuzz.sh" ]; then
    echo "== Fuzz targets (brief)"
    "$root/scripts/fuzz.sh" 10 || status=1
fi
exit $status
