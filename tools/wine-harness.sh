#!/usr/bin/env bash
# Throwaway Wine prefixes for tests. Source this file, then:
#   wine_use_prefix win64|win32   # picks (and if needed boots) the prefix, exports its environment
#   wine_start_server             # persistent wineserver, output to /dev/null (see "hang trap" below)
#   wine_stop_server              # stops the server and everything it runs (services too)
# Root folder: $QUELLOR_WINE_ROOT (default /tmp/quellor-wine-$USER). HOME is isolated there,
# winemenubuilder is disabled and the null graphics driver is set, so nothing reaches the real home.
#
# Hang trap: Wine's background processes inherit the stdout/stderr of whoever starts the server;
# if that is a pipe read by a test runner, the runner waits for them. So the server is always
# started first with its output on /dev/null.

export QUELLOR_WINE_ROOT="${QUELLOR_WINE_ROOT:-/tmp/quellor-wine-${USER:-root}}"
WINE_CMD_TIMEOUT="${WINE_CMD_TIMEOUT:-180}"

# Runs a Wine command with a time limit and no output. Never fails the caller: scripts that use
# `set -e` check the outcome they need themselves.
wine_quiet() { timeout -k 5 "$WINE_CMD_TIMEOUT" "$@" </dev/null >/dev/null 2>&1 || true; }

wine_use_prefix() {
    local arch="$1"
    export WINEARCH="$arch"
    export WINEPREFIX="$QUELLOR_WINE_ROOT/$arch"
    export HOME="$QUELLOR_WINE_ROOT/home"
    export WINEDEBUG=-all
    export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"
    export XDG_CONFIG_HOME="$HOME/.config" XDG_DATA_HOME="$HOME/.local/share" XDG_CACHE_HOME="$HOME/.cache"
    export DISPLAY=
    mkdir -p "$HOME"
    if [ ! -f "$WINEPREFIX/.quellor-ready" ]; then
        wine_boot_prefix
    fi
}

wine_boot_prefix() {
    rm -rf "$WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    wine_quiet wineserver -p
    wine_quiet wine wineboot -i
    wine_quiet wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /t REG_SZ /d null /f
    wine_quiet wineserver -k
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        echo "wine-harness: booting the $WINEARCH prefix $WINEPREFIX failed" >&2
        return 1
    fi
    touch "$WINEPREFIX/.quellor-ready"
}

wine_start_server() {
    wine_quiet wineserver -k
    wine_quiet wineserver -p
    wine_quiet wine wineboot
}

wine_stop_server() {
    timeout -k 5 60 wineserver -k </dev/null >/dev/null 2>&1 || true
}
