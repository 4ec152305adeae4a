#!/usr/bin/env bash
# Pictures of the rule editor with a few sample rules on a virtual X display (Xvfb):
#   build/screenshots/editor.png              the window as it opens
#   build/screenshots/editor-type-editor.png  with the type editor open over a type cell
# Usage: scripts/screenshot-editor.sh [build folder]   (default: build/linux)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build/linux}"
for tool in xvfb-run import; do
    if ! command -v "$tool" >/dev/null; then
        echo "screenshot-editor: $tool is missing; scripts/setup.sh installs it." >&2
        exit 1
    fi
done
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cmake --build "$build" --target editor_preview
preview="$build/tests/ui/qt/editor_preview"
out="$root/build/screenshots"
mkdir -p "$out"
work="$(mktemp -d "${TMPDIR:-/tmp}/tarnwick-shot.XXXXXX")"
trap 'rm -rf "$work"' EXIT

# One picture: start the preview, give it time to paint, take the whole screen, end it.
shoot() {
    local png="$1"
    shift
    XDG_RUNTIME_DIR="$work" QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 800x480x24" \
        bash -c '"$1" "${@:3}" & pid=$!; sleep 2; import -window root "$2"; kill "$pid"' \
        shot "$preview" "$png" "$@"
    echo "screenshot-editor: $png"
}
shoot "$out/editor.png"
shoot "$out/editor-type-editor.png" --type-editor
