#!/usr/bin/env bash
# Throwaway Wine prefixes for tests. Source this file, then:
#   wine_use_prefix win64|win32   # picks (and if needed boots) the prefix, exports its environment
#   wine_start_server             # persistent wineserver, output to /dev/null (see "hang trap" below)
#   wine_stop_server              # stops the server and everything it runs (services too)
# Root folder: $QUELLOR_WINE_ROOT (default /tmp/quellor-wine-$USER). HOME is isolated there,
# winemenubuilder is disabled and the null graphics driver is set, so nothing reaches the real home.
# winedbg is disabled too: a Wine process that crashes then ends with its exception code instead of
# waiting for a debugger that never finishes (seen under qemu-i386).
# A step that fails says so on stderr, in one first line with its cause (the command, its exit code
# or time-out), then the last lines Wine printed; the function returns non-zero.
#
# Hang trap: Wine's background processes inherit the stdout/stderr of whoever starts the server;
# if that is a pipe read by a test runner, the runner waits for them. So the server is always
# started first with its output on a file or /dev/null.

export QUELLOR_WINE_ROOT="${QUELLOR_WINE_ROOT:-/tmp/quellor-wine-${USER:-root}}"
# shellcheck source=tools/wine-path.sh
source "$(dirname "${BASH_SOURCE[0]}")/wine-path.sh"
WINE_CMD_TIMEOUT="${WINE_CMD_TIMEOUT:-$(scaled 180)}"

# Reports a failed Wine step: why, in the first line; then what Wine printed last.
wine_report() {  # status output-file command...
    local status="$1" output="$2"; shift 2
    local cause="exited with $status"
    case "$status" in
        124|137) cause="timed out after $WINE_CMD_TIMEOUT s" ;;
        126) cause="could not start its program (exit 126: are i386 programs runnable? see tools/setup.sh)" ;;
    esac
    echo "wine-harness: ERROR: \`$*\` in ${WINEPREFIX:-?} $cause" >&2
    if [ -s "$output" ]; then
        echo "wine-harness: its last lines:" >&2
        tail -n 15 "$output" | sed 's/^/    /' >&2
    fi
}

# Runs a Wine step that must succeed, with a time limit; its output goes to a file, and is shown
# only when the step fails.
wine_step() {
    local output status=0
    output="$(mktemp "${TMPDIR:-/tmp}/wine-step.XXXXXX")"
    timeout -k 5 "$WINE_CMD_TIMEOUT" "$@" </dev/null >"$output" 2>&1 || status=$?
    [ "$status" = 0 ] || wine_report "$status" "$output" "$@"
    rm -f "$output"
    return "$status"
}

# Runs a Wine step whose failure is harmless (stopping a server that has gone), with a time limit.
wine_quiet() { timeout -k 5 "$WINE_CMD_TIMEOUT" "$@" </dev/null >/dev/null 2>&1 || true; }

wine_use_prefix() {
    local arch="$1"
    export WINEARCH="$arch"
    export WINEPREFIX="$QUELLOR_WINE_ROOT/$arch"
    export HOME="$QUELLOR_WINE_ROOT/home-$arch"  # its own per prefix: the two may run side by side
    export WINEDEBUG=-all
    export WINEDLLOVERRIDES="winemenubuilder.exe=d;winedbg.exe=d;mscoree=d;mshtml=d"
    export XDG_CONFIG_HOME="$HOME/.config" XDG_DATA_HOME="$HOME/.local/share" XDG_CACHE_HOME="$HOME/.cache"
    export DISPLAY=
    mkdir -p "$HOME"
    if [ ! -f "$WINEPREFIX/.quellor-ready" ]; then
        # A boot that fails is reported, and tried once more from nothing (see wine_start_server).
        wine_boot_prefix || { echo "wine-harness: booting it once more" >&2; wine_boot_prefix; }
    fi
}

# A prefix whose boot did not finish is reported at once, never found later as a missing folder.
# The first boot takes 7-12 s natively and about 22 s under emulation.
wine_boot_prefix() {
    rm -rf "$WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    wine_quiet wineserver -k
    wine_start_persistent_server &&
        WINE_CMD_TIMEOUT="$(scaled 120)" wine_step wine wineboot -i &&
        wine_step wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /t REG_SZ /d null /f &&
        wine_scale_service_waits ||
        { wine_stop_server; echo "wine-harness: booting the $WINEARCH prefix $WINEPREFIX failed (see above)" >&2; return 1; }
    wine_stop_server
    local missing
    for missing in system.reg user.reg drive_c/windows/system32; do
        if [ ! -e "$WINEPREFIX/$missing" ]; then
            echo "wine-harness: ERROR: booting the $WINEARCH prefix $WINEPREFIX did not finish: it has no $missing" >&2
            return 1
        fi
    done
    touch "$WINEPREFIX/.quellor-ready"
}

# Starting the session takes a few seconds (5 to 35 under emulation on a busy machine); one that
# has not ended in 25 s (100 s under emulation) will not end: under qemu-i386 a 32-bit Wine process
# sometimes dies ("wine client error:5c: *** stack smashing detected ***", then "read: Bad file
# descriptor" on its server pipe), and the processes that wait for it wait forever.
# A start that fails so is reported and made once more, the old server and its processes ended.
# Wine's service manager gives a service 10 s to connect at its start and to answer a control
# (ServicesPipeTimeout, which Wine reads as a string); a 32-bit service under emulation may need
# longer, or a stop is answered "Service request timeout" (seen under emulation).
wine_scale_service_waits() {
    [ "$QUELLOR_LIMIT_SCALE" = 1 ] && return 0
    wine_step wine reg add 'HKLM\System\CurrentControlSet\Control' /v ServicesPipeTimeout /t REG_SZ \
        /d "$(scaled 10000)" /f
}

wine_start_server() {
    wine_start_session || { echo "wine-harness: starting the session once more" >&2; wine_start_session; }
}

wine_start_session() {
    wine_quiet wineserver -k
    wine_start_persistent_server && WINE_CMD_TIMEOUT="$(scaled 25)" wine_step wine wineboot
}

# `wineserver -k` ends a server that does not stop within 10 s with SIGKILL and returns at once, so
# the old server may hold its lock a moment longer: a new one that finds it running is tried again.
wine_start_persistent_server() {
    local attempt
    for attempt in 1 2 3 4; do
        timeout -k 5 60 wineserver -p </dev/null >/dev/null 2>&1 && return 0
        sleep 1
    done
    wine_step wineserver -p
}

# `wineserver -k` ends the server and every process of the prefix; a process that has stopped
# answering (seen under qemu-i386) may outlive its server, and is ended here too.
wine_stop_server() {
    timeout -k 5 60 wineserver -k </dev/null >/dev/null 2>&1 || true
    local pid
    for pid in $(wine_prefix_pids); do kill -9 "$pid" 2>/dev/null; done
    return 0
}

# The processes of this prefix's Wine (the server, its clients, the steps that started them), by the
# WINEPREFIX in their environment; never this shell.
wine_prefix_pids() {
    local pid
    for pid in $(pgrep -f 'wine|qemu-i386' || true); do
        [ "$pid" = $$ ] || [ "$pid" = "$BASHPID" ] && continue
        tr '\0' '\n' 2>/dev/null <"/proc/$pid/environ" | grep -qx "WINEPREFIX=$WINEPREFIX" && echo "$pid"
    done
    return 0
}
