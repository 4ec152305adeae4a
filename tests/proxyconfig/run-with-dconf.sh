#!/usr/bin/env bash
# Runs a command on a session bus of its own with dconf as the GSettings backend, every folder
# dconf writes in (config, runtime, cache) temporary. Exit 77: dconf is not installed.
# Usage: run-with-dconf.sh [--no-bus] COMMAND...   (--no-bus: with dconf but without any bus)
set -uo pipefail
bus=yes
if [ "${1:-}" = --no-bus ]; then
    bus=no
    shift
fi
if ! command -v dconf >/dev/null || ! command -v dbus-run-session >/dev/null ||
    ! ls /usr/lib/*/gio/modules/libdconfsettings.so >/dev/null 2>&1; then
    echo "SKIP: dconf-gsettings-backend, dconf-cli or dbus is missing (scripts/setup.sh installs them)"
    exit 77
fi
work="$(mktemp -d "${TMPDIR:-/tmp}/tarnwick-dconf.XXXXXX")"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/config" "$work/runtime" "$work/cache"
chmod 700 "$work/runtime"
export XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime" XDG_CACHE_HOME="$work/cache"
export GSETTINGS_BACKEND=dconf TARNWICK_DCONF_TEST=1 XDG_CURRENT_DESKTOP=
unset DBUS_SESSION_BUS_ADDRESS
if [ "$bus" = no ]; then
    unset DISPLAY # nor one that GIO could start for the X session
    TARNWICK_DCONF_TEST=no-bus timeout 50 "$@"
else
    timeout 50 dbus-run-session -- "$@"
fi
