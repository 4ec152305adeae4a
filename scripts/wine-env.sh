# Helpers for running the Windows program under Wine as a Chinese user would: code page 936
# (zh_CN.UTF-8; made with localedef into a private folder where the system lacks it) and a
# Wine prefix that is ready before the program starts. Sourced by the Wine end-to-end test,
# the Windows screenshots and the Windows start-up benchmark; bash only.
#
#   wine_missing               prints the first missing tool (wine, wineserver, localedef)
#   wine_locale DIR            exports LANG (and LOCPATH when the locale is made into DIR)
#   wine_prefix [PREFIX]       exports WINEPREFIX (default: a per-user folder under TMPDIR),
#                              creates the prefix when new and waits until Wine is idle again
#   wine_stop                  ends every Wine process of the prefix (its wineserver)
#   wine_tray_icons            prints the number of icons docked in trayer's panel
#   wine_tray_icon_windows     prints their windows, one a line

wine_missing() {
    local tool
    for tool in wine wineserver; do
        command -v "$tool" >/dev/null 2>&1 || { echo "$tool"; return 0; }
    done
    if ! locale -a 2>/dev/null | grep -qix 'zh_CN.utf-\?8'; then
        command -v localedef >/dev/null 2>&1 || { echo localedef; return 0; }
        [ -e /usr/share/i18n/locales/zh_CN ] || { echo "locales (zh_CN)"; return 0; }
    fi
    return 1
}

wine_locale() {
    local dir="$1"
    if ! locale -a 2>/dev/null | grep -qix 'zh_CN.utf-\?8'; then
        mkdir -p "$dir"
        [ -d "$dir/zh_CN.UTF-8" ] || localedef -i zh_CN -f UTF-8 "$dir/zh_CN.UTF-8" 2>/dev/null ||
            [ -d "$dir/zh_CN.UTF-8" ] || { echo "localedef failed" >&2; return 1; }
        export LOCPATH="$dir"
    fi
    unset LC_ALL
    export LANG=zh_CN.UTF-8
}

wine_prefix() {
    export WINEPREFIX="${1:-${TMPDIR:-/tmp}/tarnwick-wine-gui-$(id -u)}"
    export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    # A server left from an earlier run may hold windows on a display that is gone.
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        mkdir -p "$WINEPREFIX"
        wineboot -i >/dev/null 2>&1 || true
    fi
    # Nothing of Wine's may still be starting when the program does: an icon added meanwhile
    # can miss the mouse.
    wineserver -w 2>/dev/null || true
}

wine_stop() {
    [ -n "${WINEPREFIX:-}" ] && wineserver -k 2>/dev/null || true
}

# Wine's explorer docks each icon as a window of its own below trayer's panel; the icons'
# windows belong to explorer.exe, not to the program.
wine_tray_icon_windows() {
    local panel
    panel="$(vd_panel)" || return 0
    xwininfo -id "$panel" -tree 2>/dev/null | awk '/\("explorer.exe" "explorer.exe"\)/ { print $1 }'
}
wine_tray_icons() {
    wine_tray_icon_windows | grep -c . || true
}
