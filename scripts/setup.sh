#!/usr/bin/env bash
# Installs what the build, the tests and the program need (Debian 12). Runs apt-get as root,
# through sudo otherwise. Skips the install when everything is already there.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config git
    qt6-base-dev librsvg2-bin libgl-dev libx11-dev libpng-dev
    libgtest-dev libgmock-dev googletest libbenchmark-dev
    clang libclang-rt-14-dev clang-format
    g++-mingw-w64-x86-64-posix wine wine64
    libpacparser1 libpacparser-dev
    xvfb xauth trayer xdotool xclip x11-utils imagemagick fonts-wqy-microhei
    libglib2.0-dev libglib2.0-bin gsettings-desktop-schemas dconf-gsettings-backend dconf-cli dbus
    qt6-wayland sway waybar grim wtype
    firefox-esr chromium python3 curl procps
    locales zip unzip
    desktop-file-utils appstream dpkg-dev
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

sudo=""
if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
fi
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
