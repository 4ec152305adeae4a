#!/usr/bin/env bash
# Configures and builds the Linux build (build/linux) and the Windows build (build/windows).
# Usage: scripts/build.sh [linux|windows|all]   (default: all)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
which="${1:-all}"
jobs="$(nproc)"

if [ "$which" = linux ] || [ "$which" = all ]; then
    cmake -S "$root" -B "$root/build/linux" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DTARNWICK_BENCH=ON
    cmake --build "$root/build/linux" -j "$jobs"
fi
if [ "$which" = windows ] || [ "$which" = all ]; then
    cmake -S "$root" -B "$root/build/windows" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" -DTARNWICK_BENCH=ON
    cmake --build "$root/build/windows" -j "$jobs"
fi
