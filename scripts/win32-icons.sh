#!/usr/bin/env bash
# Regenerates the Windows program's icons (src/ui/win32/res/*.ico) from the SVG pictures the
# Qt windows use, so both front ends show the same artwork. The .ico files are committed; run
# this after changing a picture. Needs rsvg-convert (librsvg2-bin) and ImageMagick.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
images="$root/src/forms/images"
[ -d "$images" ] || images="$root/src/ui/qt/images"
out="$root/src/ui/win32/res"
convert=/usr/bin/convert
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
mkdir -p "$out"

# ico NAME SVG SIZE...: one .ico holding the picture at each size, 32-bit with alpha.
ico() {
    local name="$1" svg="$2"
    shift 2
    local pngs=()
    for size in "$@"; do
        rsvg-convert -w "$size" -h "$size" "$svg" -o "$tmp/$name-$size.png"
        pngs+=("$tmp/$name-$size.png")
    done
    "$convert" "${pngs[@]}" -define icon:format=bmp "$out/$name.ico"
}

ico emblem-on "$images/main/emblem-on.svg" 16 32 48
ico emblem-off "$images/main/emblem-off.svg" 16 32
for name in settings exit help switch; do
    ico "$name" "$images/main/$name.svg" 32
done
for name in insert delete; do
    ico "$name" "$images/editor/$name.svg" 20
done
