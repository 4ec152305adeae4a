#!/usr/bin/env bash
# The installed program, two ways:
#   InstallTest.sh staged BUILD_DIR SOURCE_DIR
#       cmake --install into a temporary DESTDIR: the desktop entry and the metadata pass the
#       desktop's checkers, the icons are there in their sizes, and the installed program, run
#       end to end, keeps its files in the configuration folder.
#   InstallTest.sh package BUILD_DIR SOURCE_DIR
#       cpack -G DEB, dpkg -i, the installed /usr/bin/Tarnwick end to end under Xvfb with
#       trayer, dpkg -r. Changes the machine: runs only as root with TARNWICK_PACKAGE_TEST=1
#       (scripts/test.sh sets it on CI), and never over a tarnwick package already installed.
# Exit 77: skipped.
set -uo pipefail
mode="$1"
build="$2"
source_dir="$3"

work="$(mktemp -d "${TMPDIR:-/tmp}/tarnwick-install.XXXXXX")"
installed_package=""
finish() {
    [ -n "$installed_package" ] && dpkg -r tarnwick >/dev/null 2>&1
    rm -rf "$work"
}
trap finish EXIT
fail() {
    echo "FAIL: $*"
    exit 1
}

if [ "$mode" = staged ]; then
    DESTDIR="$work/stage" cmake --install "$build" --prefix /usr >"$work/install.log" 2>&1 ||
        { cat "$work/install.log"; fail "cmake --install failed"; }
    root="$work/stage/usr"
    [ -x "$root/bin/Tarnwick" ] || fail "the executable is not installed"
    entry="$root/share/applications/tarnwick.desktop"
    [ -f "$entry" ] || fail "the desktop entry is not installed"
    for key in 'Name=Tarnwick' 'Name\[zh_CN\]=.' 'Comment=.' 'Icon=tarnwick' \
        'Categories=Network;' 'Exec=Tarnwick' 'StartupNotify=false'; do
        grep -q "^$key" "$entry" || fail "the desktop entry has no $key"
    done
    if command -v desktop-file-validate >/dev/null; then
        desktop-file-validate "$entry" || fail "desktop-file-validate rejects the entry"
    else
        echo "note: desktop-file-validate is not installed; the entry is not validated"
    fi
    if command -v appstreamcli >/dev/null; then
        # Warnings are allowed (the id is not a reverse domain name); errors are not.
        appstreamcli validate --no-net "$root/share/metainfo/tarnwick.metainfo.xml" \
            >"$work/appstream.log" 2>&1
        grep -q '^E:' "$work/appstream.log" && { cat "$work/appstream.log"; fail "appstream errors"; }
    fi
    [ -s "$root/share/icons/hicolor/scalable/apps/tarnwick.svg" ] || fail "no scalable icon"
    grep -q '<svg' "$root/share/icons/hicolor/scalable/apps/tarnwick.svg" ||
        fail "the scalable icon is no SVG"
    for size in 16 32 48 128; do
        png="$root/share/icons/hicolor/${size}x${size}/apps/tarnwick.png"
        [ -f "$png" ] || fail "no ${size}x${size} icon"
        # Width and height from the PNG header.
        dims="$(od -An -tu1 -j16 -N8 "$png" | awk '{ print $3 * 256 + $4 "x" $7 * 256 + $8 }')"
        [ "$dims" = "${size}x${size}" ] || fail "the ${size}x${size} icon is $dims"
    done
    [ -f "$root/share/doc/tarnwick/README.md" ] || fail "the README is not installed"
    TARNWICK_E2E_INSTALLED=1 "$source_dir/tests/e2e/EndToEnd.sh" "$root/bin/Tarnwick" "$source_dir"
    exit $?
fi

if [ "$mode" = package ]; then
    if [ "${TARNWICK_PACKAGE_TEST:-0}" != 1 ] || [ "$(id -u)" -ne 0 ]; then
        echo "SKIP: installs a package into the machine; runs as root with TARNWICK_PACKAGE_TEST=1"
        exit 77
    fi
    if dpkg-query -W -f='${Status}' tarnwick 2>/dev/null | grep -q "install ok installed"; then
        echo "SKIP: a tarnwick package is installed already; it is left alone"
        exit 77
    fi
    (cd "$work" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/package") \
        >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; fail "cpack -G DEB failed"; }
    deb="$(ls "$work"/package/tarnwick_*.deb 2>/dev/null | head -n1)"
    [ -n "$deb" ] || fail "cpack made no package"
    dpkg-deb -f "$deb" Depends | grep -q 'libqt6widgets6' ||
        fail "the package does not depend on the Qt libraries it links"
    installed_package=yes
    dpkg -i "$deb" || fail "dpkg -i failed"
    [ -x /usr/bin/Tarnwick ] || fail "/usr/bin/Tarnwick is not there"
    TARNWICK_E2E_INSTALLED=1 "$source_dir/tests/e2e/EndToEnd.sh" /usr/bin/Tarnwick "$source_dir" ||
        fail "the installed program did not pass the end-to-end run"
    installed_package=""
    dpkg -r tarnwick || fail "dpkg -r failed"
    [ ! -e /usr/bin/Tarnwick ] || fail "dpkg -r left /usr/bin/Tarnwick"
    echo "PASS: the package installs, runs and is removed"
    exit 0
fi
echo "usage: InstallTest.sh staged|package BUILD_DIR SOURCE_DIR" >&2
exit 2
