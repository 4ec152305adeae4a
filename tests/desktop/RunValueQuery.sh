#!/bin/sh
# Start at login on Windows as `reg query` sees it: the tool turns it on (the Run value holds
# its quoted path) and off (the value is gone).
# Usage: RunValueQuery.sh WINE_RUN TOOL_EXE
set -u
wine_run="$1"
tool="$2"
key='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
fail() { printf "FAIL: %s\n" "$*"; "$wine_run" "$tool" off >/dev/null 2>&1; exit 1; }

path="$("$wine_run" "$tool" on | tr -d '\r')" || fail "turning it on failed"
query="$("$wine_run" reg query "$key" /v Tarnwick 2>/dev/null | tr -d '\r')"
printf '%s\n' "$query"
printf '%s\n' "$query" | grep -F "REG_SZ" | grep -qF "\"$path\"" ||
    fail "the Run value does not hold \"$path\""

"$wine_run" "$tool" off >/dev/null || fail "turning it off failed"
if "$wine_run" reg query "$key" /v Tarnwick >/dev/null 2>&1; then
    fail "the Run value is still there"
fi
echo "ok"
