#!/usr/bin/env bash
# Pictures of the rule editor with a few sample rules on a virtual X display (Xvfb):
#   build/screenshots/editor.png              the window as it opens
#   build/screenshots/editor-type-editor.png  with the type editor open over a type cell
#   build/screenshots/editor-tester.png       with the rule tester's result for an address
# Usage: scripts/screenshot-editor.sh [build folder]   (default: build/linux)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build/linux}"
source "$root/scripts/virtual-display.sh"
if missing="$(vd_missing)"; then
    echo "screenshot-editor: $missing is missing; scripts/setup.sh installs it." >&2
    exit 1
fi
if ! command -v import >/dev/null; then
    echo "screenshot-editor: ImageMagick's import is missing; scripts/setup.sh installs it." >&2
    exit 1
fi
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cmake --build "$build" --target editor_preview
preview="$build/tests/ui/qt/editor_preview"
out="$root/build/screenshots"
mkdir -p "$out"
vd_session tarnwick-shot
vd_start "$work"
export XDG_RUNTIME_DIR="$work/runtime" QT_QPA_PLATFORM=xcb
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"

# One picture: start the preview, wait for its window, give it a moment to paint (and the
# type editor its timer), take the part of the screen that holds it, end it.
shoot() {
    local png="$1" editor
    shift
    "$preview" "$@" &
    pid=$!
    editor="$(vd_window '设置参数' 60)"
    sleep 1
    eval "$(xwininfo -id "$editor" | awk '/Absolute upper-left X/ { print "x=" $4 }
        /Absolute upper-left Y/ { print "y=" $4 } /Width:/ { print "w=" $2 }
        /Height:/ { print "h=" $2 }')"
    import -window root -crop "${w}x${h}+${x}+${y}" +repage "$png"
    vd_end 60
    echo "screenshot-editor: $png"
}
shoot "$out/editor.png"
shoot "$out/editor-type-editor.png" --type-editor
shoot "$out/editor-tester.png" --test "http://192.168.5.20/wiki"
