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

# Every size Windows asks for from 100 % to 200 % scaling: the small and large icon sizes
# (16, 20, 24, 32, 40, 48, 64), the main toolbar's 32 and the editor's 20 pictures scaled
# (30, 40, 64), so that no picture is stretched at the common scalings.
sizes=(16 20 24 30 32 40 48 64)
for name in emblem-on emblem-off settings exit help switch; do
    ico "$name" "$images/main/$name.svg" "${sizes[@]}"
done
for name in insert delete; do
    ico "$name" "$images/editor/$name.svg" "${sizes[@]}"
done
