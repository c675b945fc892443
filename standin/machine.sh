#!/usr/bin/env bash
# Prepares a Wine prefix in a named state of the stand-in product, for end-to-end runs of the
# removal tool.
#
#   standin/machine.sh --build-dir DIR --arch win64|win32 --state STATE
#                      [--version 1.0.14.0] [--corvane before|after] [--check] [--stop] [--resume]
#                      [--customer ZEKT]
#
# States: not-installed, intact, broken, two-versions, shared-component, diagnosing, related-other
# (docs/standin.md describes each). Every run first resets the prefix to its clean booted state
# (registry files and drive_c restored), so any state can follow any other.
#
# Prefix root: $STANDIN_WINE_ROOT, else "$QUELLOR_WINE_ROOT/standin" (default
# /tmp/quellor-wine-$USER/standin); the prefix is <root>/<arch>. The wineserver is left running
# (persistent) so that the product's processes live on; stop it, and with it every process of the
# prefix, by sourcing tools/wine-harness.sh with the same root and calling wine_stop_server
# (that is `wineserver -k`). --stop stops it before the builder exits.
# --customer names the vendor folder of the package (ACME for the package of version 2.5.0.0).
# --resume starts the service and processes of a state built earlier with --stop, without
# resetting or installing anything (so a test can snapshot the stopped machine first). Only for
# runs that do not stop the product: when the session's desktop appears, Wine also starts the
# product's StartUp shortcuts, so second copies of the resident components may run.
# --check verifies the state (for broken: `msiexec /x` must fail with 1612) and exits 1 otherwise.
set -euo pipefail

here="$(cd "$(dirname "$0")/.." && pwd)"
build=""; arch=win64; state=""; version=1.0.14.0; corvane=before; check=0; stop=0; resume=0; customer=ZEKT

usage() { sed -n '2,20p' "$0" | sed 's/^# \{0,1\}//'; exit 2; }
while [ $# -gt 0 ]; do
    case "$1" in
        --build-dir) build="$2"; shift 2 ;;
        --arch) arch="$2"; shift 2 ;;
        --state) state="$2"; shift 2 ;;
        --version) version="$2"; shift 2 ;;
        --corvane) corvane="$2"; shift 2 ;;
        --check) check=1; shift ;;
        --stop) stop=1; shift ;;
        --resume) resume=1; shift ;;
        --customer) customer="$2"; shift 2 ;;
        -h|--help) usage ;;
        *) echo "unknown option: $1" >&2; usage ;;
    esac
done
[ -n "$build" ] && [ -n "$state" ] || usage
case "$arch" in win64|win32) ;; *) echo "--arch must be win64 or win32" >&2; exit 2 ;; esac
case "$corvane" in before|after) ;; *) echo "--corvane must be before or after" >&2; exit 2 ;; esac

build="$(cd "$build" && pwd)"
bin="$build/standin/bin"
msi="$build/standin/msi"
[ -f "$msi/Mirevo-$version.msi" ] || { echo "no package $msi/Mirevo-$version.msi (build the 'standin' target)" >&2; exit 2; }

export QUELLOR_WINE_ROOT="${STANDIN_WINE_ROOT:-${QUELLOR_WINE_ROOT:-/tmp/quellor-wine-${USER:-root}}/standin}"
# shellcheck source=tools/wine-harness.sh
source "$here/tools/wine-harness.sh"


started=$(date +%s.%N)
say() { printf '[machine] %s\n' "$*"; }
elapsed() { awk -v s="$started" -v e="$(date +%s.%N)" 'BEGIN { printf "%.1f", e - s }'; }
on_error() { say "FAILED after $(elapsed) s"; wine_stop_server; }
trap on_error ERR

product_code() {  # version -> product code, from the table the packages were built with
    sed -n "s/.*\"$1={\([0-9A-Fa-f-]*\)}\".*/{\1}/p" "$here/standin/CMakeLists.txt" | head -1
}
packed() {  # the installer's packed form of a braced GUID
    python3 -c 'import sys
g = sys.argv[1].strip("{}").replace("-", "")
r = lambda s: s[::-1]
print(r(g[0:8]) + r(g[8:12]) + r(g[12:16]) + "".join(r(g[i:i+2]) for i in range(16, 32, 2)))' "$1"
}
winpath() { printf 'Z:%s' "$(printf '%s' "$1" | tr '/' '\\')"; }
# A Windows program's output, for the caller to judge. It goes to a file, never to our own stdout:
# Windows processes started from here must not inherit a pipe that a caller (ctest) waits on. A
# program that runs out of time or cannot be started at all is reported with its cause and Wine's
# last lines; any other exit code is an answer the caller reads.
wine_out() {
    local out err status=0
    out="$(mktemp)"; err="$(mktemp)"
    timeout -k 5 "$WINE_CMD_TIMEOUT" wine "$@" </dev/null >"$out" 2>"$err" || status=$?
    case "$status" in 124|126|137) wine_report "$status" "$err" wine "$@" ;; esac
    tr -d '\r' <"$out"; rm -f "$out" "$err"
}
exit_code_of() { wine_out "$bin/StandinExec.exe" wait -- "$@" | sed -n 's/^exit code //p'; }

# --- clean state ---------------------------------------------------------------------------
pristine="$QUELLOR_WINE_ROOT/$arch.pristine"
file_list() { (cd "$WINEPREFIX/drive_c" && find . -mindepth 1 | LC_ALL=C sort); }

record_pristine() {
    say "booting a new $arch prefix and recording its clean state"
    rm -f "$QUELLOR_WINE_ROOT/$arch/.quellor-ready"
    wine_use_prefix "$arch"
    # The user's Desktop is a symlink into $HOME on a fresh prefix; make it a real folder so
    # that desktop shortcuts stay inside the prefix like every other trace.
    local desktop startup
    for desktop in "$WINEPREFIX"/drive_c/users/*/Desktop; do
        if [ -L "$desktop" ]; then rm -f "$desktop"; mkdir -p "$desktop"; fi
    done
    # As on Windows, these folders hold a desktop.ini; without it Wine's uninstall deletes the
    # folders themselves once the product's shortcuts are gone.
    for startup in "$WINEPREFIX"/drive_c/users/*/Desktop \
                   "$WINEPREFIX"/drive_c/users/*/AppData/Roaming/Microsoft/Windows/"Start Menu"/Programs/StartUp; do
        [ -d "$startup" ] && printf '[.ShellClassInfo]\r\n' >"$startup/desktop.ini"
    done
    wine_start_server
    wine_stop_server
    rm -rf "$pristine"; mkdir -p "$pristine"
    cp "$WINEPREFIX"/*.reg "$pristine/"
    file_list >"$pristine/files.list"
    touch "$pristine/.done"
}

restore_pristine() {
    wine_stop_server
    cp "$pristine"/*.reg "$WINEPREFIX/"
    # The e2e scenario that needs Windows' answer for registry key paths puts a stand-in msi.dll in
    # the system folder and keeps Wine's own beside it as winemsi.dll; put Wine's back should that
    # scenario have been cut off.
    local system
    for system in "$WINEPREFIX/drive_c/windows/system32" "$WINEPREFIX/drive_c/windows/syswow64"; do
        if [ -f "$system/winemsi.dll" ]; then mv -f "$system/winemsi.dll" "$system/msi.dll"; fi
    done
    local extra
    extra="$(file_list | LC_ALL=C comm -13 "$pristine/files.list" -)"
    if [ -n "$extra" ]; then
        (cd "$WINEPREFIX/drive_c" && printf '%s\n' "$extra" | while IFS= read -r path; do rm -rf -- "$path"; done)
    fi
    say "prefix reset to its clean state ($(printf '%s' "$extra" | grep -c . || true) paths removed)"
}

# --- product actions -----------------------------------------------------------------------
# An install that fails is reported with the installer's own log (kept in the prefix's temporary
# folder). An install takes a second natively and up to about 40 s under emulation; one that has not
# ended in 30 s (120 s under emulation) is given up, and its msiexec ends with the server when the
# state is built again.
install_package() {  # package file
    local package="$1" code log
    log="C:\\windows\\temp\\standin-install-$(basename "$package" .msi).log"
    code="$(WINE_CMD_TIMEOUT="$(scaled 30)" exit_code_of msiexec /i "$(winpath "$package")" /qn /l*v "$log")"
    if [ "$code" = 0 ]; then
        say "installed $(basename "$package") from $(winpath "$package")"
        return 0
    fi
    say "msiexec /i $(basename "$package") failed with ${code:-no exit code (it did not end in time)}"
    show_installer_log "$log"
    show_prefix_processes
    return 1
}

# The Windows processes of this prefix, with the state and wait channel of each Unix thread: what
# an install that does not end is waiting for.
show_prefix_processes() {
    local pid task
    say "  processes of the prefix now:"
    for pid in $(wine_prefix_pids); do
        printf '    %s %s;' "$pid" "$(tr '\0' ' ' 2>/dev/null <"/proc/$pid/cmdline" | cut -c1-120)"
        for task in /proc/"$pid"/task/*; do
            printf ' %s:%s' "$(awk '{print $3}' "$task/stat" 2>/dev/null)" "$(cat "$task/wchan" 2>/dev/null)"
        done
        echo
    done
}

# The lines of an installer log that say why it failed: errors, failed actions, the end.
show_installer_log() {  # Windows path below C:\windows\temp
    local file="$WINEPREFIX/drive_c/windows/temp/${1##*\\}"
    [ -f "$file" ] || { say "  (no installer log at $1)"; return 0; }
    say "  installer log $1 (unix: $file), its errors and last lines:"
    local text="$file.txt"
    if [ "$(head -c 2 "$file" | od -An -tx1 | tr -d ' \n')" = fffe ]; then
        iconv -f UTF-16 -t UTF-8 "$file" | tr -d '\r' >"$text"
    else
        tr -d '\r' <"$file" >"$text"
    fi
    { grep -n -i -E 'error|return value 3|failed' "$text" | head -n 20; echo ...; tail -n 15 "$text"; } | sed 's/^/    /'
}

install_dir() {
    if [ "$arch" = win64 ]; then echo "C:\\Program Files (x86)\\$customer\\Velkor"; else echo "C:\\Program Files\\$customer\\Velkor"; fi
}

start_component() {  # exe [args...]: started detached, waits until its window and mutexes are up
    local exe="$1"; shift
    local event="StandinReady_${exe%.exe}_$$"
    local result
    result="$(wine_out "$bin/StandinExec.exe" start --ready "$event" --timeout "$(scaled 15000)" -- "$(install_dir)\\$exe" --ready-event "$event" "$@")"
    case "$result" in started*) ;; *) say "could not start $exe: $result"; return 1 ;; esac
    printf '%s' "$result" | grep -q 'not ready\|ended' && { say "$exe did not get ready: $result"; return 1; }
    say "running: $exe $* (${result%%$'\n'*})"
}

start_plain() {  # exe: started detached, no readiness signal
    local result
    result="$(wine_out "$bin/StandinExec.exe" start -- "$(install_dir)\\$1")"
    case "$result" in started*) say "running: $1 (${result%%$'\n'*})" ;; *) say "could not start $1: $result"; return 1 ;; esac
}

start_processes() {  # extra args for VitraCare
    start_component VitraCare.exe "$@"
    start_component VitraSetting.exe
    start_component VitraResident.exe
    start_plain Ferrow_klq_1_0_0.exe
}

service_state() {
    wine_out sc query "Terrion KLQ Service" | sed -n 's/.*STATE *: *\([0-9]\).*/\1/p'
}

# net.exe returns before the service has stopped, and a service deleted while it still runs stays
# registered until it stops: the next install would then fail (1627). Each step is awaited, bounded.
await_service_state() {  # state ("1" stopped, "" gone)
    local limit; limit="$(scaled 10)"
    for _ in $(seq 1 $((limit * 4))); do
        [ "$(service_state)" = "$1" ] && return 0
        sleep 0.25
    done
    say "service 'Terrion KLQ Service' did not reach state '${1:-gone}' in $limit s"
}

remove_service() {
    wine_out net stop "Terrion KLQ Service" >/dev/null
    await_service_state 1
    wine_out sc delete "Terrion KLQ Service" >/dev/null
    await_service_state ""
    say "service 'Terrion KLQ Service' stopped and deleted before the next install"
}

break_install() {  # version: install from a temporary copy, then lose the copy and the cache
    local ver="$1" code tmp local_package
    code="$(product_code "$ver")"
    tmp="$(mktemp -d /tmp/standin-source.XXXXXX)"
    cp "$msi/Mirevo-$ver.msi" "$tmp/Mirevo.msi"
    install_package "$tmp/Mirevo.msi"
    rm -rf "$tmp"
    local_package="$(wine_out reg query \
        "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\S-1-5-18\\Products\\$(packed "$code")\\InstallProperties" \
        /v LocalPackage /reg:64 | sed -n 's/.*LocalPackage *REG_SZ *//p')"
    [ -n "$local_package" ] || { say "no LocalPackage registered for $code"; return 1; }
    local unix_package="$WINEPREFIX/drive_c/$(printf '%s' "${local_package#?:\\}" | tr '\\' '/')"
    rm -f "$unix_package"
    say "removed the source copy $tmp/Mirevo.msi and the cached package $local_package"
}

# Two patches registered as Windows Installer registers an applied patch (Wine's msiexec cannot
# apply an .msp; docs/standin.md names the layout's source): MirevoFix1 for Mirevo alone, MirevoFix2
# for Mirevo and Corvane. Each has its keys below Classes\Installer\Patches and UserData\S-1-5-18\Patches
# (LocalPackage: a cached .msp), each product an entry below its Classes\Installer\Products\<code>\Patches
# (the "Patches" list and a value per patch) and UserData\S-1-5-18\Products\<code>\Patches\<patch>; Mirevo
# has a baseline cache below $PatchCache$.
patch_one="{D1A2B3C4-5E6F-4A70-8B91-C2D3E4F5A601}"
patch_shared="{D1A2B3C4-5E6F-4A70-8B91-C2D3E4F5A602}"
register_patches() {
    local mirevo corvane one shared reg
    mirevo="$(packed "$(product_code "$version")")"; corvane="$(packed "{C0A7E3B0-5D21-4C8E-9F3A-6B1D2E4F5A60}")"
    one="$(packed "$patch_one")"; shared="$(packed "$patch_shared")"
    local installer="$WINEPREFIX/drive_c/windows/Installer"
    mkdir -p "$installer/\$PatchCache\$/Managed/$mirevo/1.0.14.0"
    printf 'patch one\n' >"$installer/5a1f.msp"; printf 'patch shared\n' >"$installer/5a2f.msp"
    printf 'baseline\n' >"$installer/\$PatchCache\$/Managed/$mirevo/1.0.14.0/Velkor.cab"
    local classes='HKEY_LOCAL_MACHINE\Software\Classes\Installer'
    local userdata='HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Installer\UserData\S-1-5-18'
    reg="$(mktemp /tmp/standin-patches.XXXXXX.reg)"
    {
        printf 'Windows Registry Editor Version 5.00\r\n\r\n'
        local patch name package
        for patch in "$one:MirevoFix1:5a1f" "$shared:MirevoFix2:5a2f"; do
            IFS=: read -r patch name package <<<"$patch"
            printf '[%s\\Patches\\%s]\r\n"PackageName"="%s.msp"\r\n\r\n' "$classes" "$patch" "$name"
            printf '[%s\\Patches\\%s\\SourceList]\r\n"PackageName"="%s.msp"\r\n\r\n' "$classes" "$patch" "$name"
            printf '[%s\\Patches\\%s]\r\n"LocalPackage"="C:\\\\windows\\\\Installer\\\\%s.msp"\r\n\r\n' "$userdata" "$patch" "$package"
            printf '[%s\\Products\\%s\\Patches\\%s]\r\n"State"=dword:00000001\r\n"DisplayName"="%s"\r\n\r\n' \
                "$userdata" "$mirevo" "$patch" "$name"
            printf '[%s\\Products\\%s\\Patches]\r\n"%s"=":%s.mst"\r\n\r\n' "$classes" "$mirevo" "$patch" "$name"
        done
        printf '[%s\\Products\\%s\\Patches]\r\n"%s"=":MirevoFix2.mst"\r\n\r\n' "$classes" "$corvane" "$shared"
        printf '[%s\\Products\\%s\\Patches\\%s]\r\n"State"=dword:00000001\r\n"DisplayName"="MirevoFix2"\r\n\r\n' \
            "$userdata" "$corvane" "$shared"
    } >"$reg"
    # The installer's keys live in the native view (a 32-bit reg.exe would write below Wow6432Node).
    local view=(); [ "$arch" = win64 ] && view=(/reg:64)
    wine_out reg import "$(winpath "$reg")" "${view[@]}" >/dev/null
    rm -f "$reg"
    say "registered the patches $patch_one (Mirevo alone) and $patch_shared (Mirevo and Corvane)"
}

expect_uninstall_fails() {  # product code
    local code
    code="$(exit_code_of msiexec /x "$1" /qn)"
    say "msiexec /x $1 /qn -> exit code $code"
    if [ "$check" = 1 ] && [ "$code" != 1612 ]; then say "CHECK FAILED: expected 1612"; exit 3; fi
}

other_version() { if [ "$version" = 1.0.13.0 ]; then echo 1.0.12.0; else echo 1.0.13.0; fi; }

# --- main ----------------------------------------------------------------------------------
if [ ! -f "$pristine/.done" ] || [ ! -f "$QUELLOR_WINE_ROOT/$arch/.quellor-ready" ]; then
    record_pristine
else
    wine_use_prefix "$arch"
fi
if [ "$resume" = 1 ]; then
    wine_start_server
    [ "$state" = not-installed ] || wine_out net start "Terrion KLQ Service" >/dev/null
    case "$state" in
        intact|broken) start_processes ;;
        diagnosing) start_processes --status 1 ;;
    esac
    say "state $state resumed in $(elapsed) s"
    exit 0
fi
build_state() {
    restore_pristine
    wine_start_server
    say "prefix $WINEPREFIX ($arch), state $state, version $version ($(product_code "$version"))"
    case "$state" in
        not-installed) ;;
        intact)
            install_package "$msi/Mirevo-$version.msi"
            start_processes ;;
        diagnosing)
            install_package "$msi/Mirevo-$version.msi"
            start_processes --status 1 ;;
        broken)
            break_install "$version"
            start_processes
            expect_uninstall_fails "$(product_code "$version")" ;;
        folder-deleted)
            # What support finds most often: another product installed beside it, the service stopped
            # and the program folder deleted by hand, then the ordinary uninstall failed.
            install_package "$msi/Corvane-before.msi"
            break_install "$version"
            wine_out net stop "Terrion KLQ Service" >/dev/null
            await_service_state 1
            local folder; folder="$(install_dir)"
            rm -rf -- "$WINEPREFIX/drive_c/$(printf '%s' "${folder#?:\\}" | tr '\\' '/')"
            say "deleted the program folder $folder by hand"
            expect_uninstall_fails "$(product_code "$version")" ;;
        patched)
            install_package "$msi/Corvane-before.msi"
            install_package "$msi/Mirevo-$version.msi"
            register_patches ;;
        two-versions)
            # Both packages install the one service; the second install fails while it exists, so
            # it is handed over: the older version stays registered as having installed it.
            install_package "$msi/Mirevo-$(other_version).msi"
            remove_service
            install_package "$msi/Mirevo-$version.msi" ;;
        shared-component)
            install_package "$msi/Corvane-$corvane.msi"
            install_package "$msi/Mirevo-$version.msi" ;;
        related-other)
            install_package "$msi/Mirevo-$(other_version).msi" ;;
        *) say "unknown state: $state"; exit 2 ;;
    esac
}

# A build that fails on the platform's side (an install that fails or hangs, a component that does
# not get ready) is reported above and made once more from the clean prefix; a second failure ends
# the builder. A state that builds but fails its --check (exit 3) is not built again.
attempt_state() { ( set -e; build_state ); }
trap - ERR
set +e
attempt_state; status=$?
if [ "$status" != 0 ] && [ "$status" != 2 ] && [ "$status" != 3 ]; then
    say "building the state $state failed (exit $status); building it once more from the clean prefix"
    attempt_state; status=$?
fi
set -e
if [ "$status" != 0 ]; then on_error; exit "$status"; fi

[ "$state" = not-installed ] || say "service 'Terrion KLQ Service' state: $(service_state) (4 = running)"
if [ "$stop" = 1 ]; then
    wine_stop_server
    say "wineserver stopped"
else
    say "wineserver left running; stop it with: QUELLOR_WINE_ROOT=$QUELLOR_WINE_ROOT; source tools/wine-harness.sh; wine_use_prefix $arch; wine_stop_server"
fi
say "state $state ready in $(elapsed) s"
