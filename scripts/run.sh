#!/usr/bin/env bash
# Sets up the machine, builds the program and starts it.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh"
"$root/scripts/build.sh" linux
exe="$root/build/linux/src/Tarnwick"
if [ ! -x "$exe" ]; then
    echo "Tarnwick: the program's windows are not built yet; the core and its tests are."
    exit 0
fi
exec "$exe" "$@"
