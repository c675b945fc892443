#!/usr/bin/env bash
# Times the collection half of quellor.exe on heavily used stand-in machines, against a floor.
#
#   tools/bench.sh [--build-dir DIR] [--sizes "0 5000 20000 50000"] [--repeats 3]
#                  [--profiles 0] [--profile-keys 3000]
#
# For each size N the machine is the `broken` stand-in (64-bit prefix) plus N other components, N/10
# other products and N/4 COM classes (standin/noise.py). On it, --repeats times each:
#   - collection: quellor.exe from its start until it asks "レジストリ削除、ファイル削除を開始してもよろしいですか？"
#     (answered N), timed from inside Wine by bench-runner.exe, which also reads quellor.exe's peak
#     working set at that moment (GetProcessMemoryInfo);
#   - floor: registry-floor.exe, one pass over the subtrees any collection must read (installer user data
#     of every SID, Classes\Installer, Installer\UpgradeCodes, both Uninstall views, every user's
#     Installer keys, of the users who are not logged on through their loaded hive files), started and
#     timed the same way.
# --profiles K adds K users who are not logged on (profile-list entries and Wine-format hives with
# --profile-keys per-user installer keys each), whose hives quellor.exe loads; the floor loads and walks
# them too (any collection of every user must). The two alternate, so a busy machine slows both alike. Prints one table row per N: the medians,
# their ratio and the highest peak working set. At the largest N a last run answers Y and removes the
# product: the benchmark's build of quellor.exe (quellor-bench.exe) times its end check, the searches made
# once more on the machine as the removal left it, and the table shows that time and the peak working
# set of the whole run beside that N's collection. Needs a build (tools/build.sh). Prefix root:
# $QUELLOR_WINE_ROOT (default /tmp/quellor-bench-$USER); its stand-in server is stopped at the end.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="$here/build"; sizes="0 5000 20000 50000"; repeats=3; profiles=0; profile_keys=3000

usage() { sed -n '2,23p' "$0" | sed 's/^# \{0,1\}//'; exit 2; }
while [ $# -gt 0 ]; do
    case "$1" in
        --build-dir) build="$2"; shift 2 ;;
        --sizes) sizes="$2"; shift 2 ;;
        --repeats) repeats="$2"; shift 2 ;;
        --profiles) profiles="$2"; shift 2 ;;
        --profile-keys) profile_keys="$2"; shift 2 ;;
        -h|--help) usage ;;
        *) echo "unknown option: $1" >&2; usage ;;
    esac
done
build="$(cd "$build" && pwd)"
for file in app/quellor.exe tools/bench/bench-runner.exe tools/bench/registry-floor.exe tools/bench/quellor-bench.exe; do
    [ -f "$build/$file" ] || { echo "bench: no $build/$file (run tools/build.sh)" >&2; exit 2; }
done

export QUELLOR_WINE_ROOT="${QUELLOR_WINE_ROOT:-/tmp/quellor-bench-${USER:-root}}"
prefix="$QUELLOR_WINE_ROOT/standin/win64"
base="$(mktemp -d /tmp/quellor-bench-base.XXXXXX)"
results="$base/results"

say() { printf '[bench] %s\n' "$*"; }
machine() { bash "$here/standin/machine.sh" --build-dir "$build" --arch win64 --state broken "$@" >>"$base/machine.log" 2>&1; }
stop_server() { WINEPREFIX="$prefix" timeout -k 5 60 wineserver -k </dev/null >/dev/null 2>&1 || true; }
finish() { stop_server; rm -rf "$base"; }
trap finish EXIT

# Runs one Windows program in the stand-in prefix; its output through a file, never a pipe (Wine's
# background processes would inherit it).
in_prefix() {
    local out="$base/out.txt" status=0
    (
        export QUELLOR_WINE_ROOT="$QUELLOR_WINE_ROOT/standin"
        # shellcheck source=tools/wine-harness.sh
        source "$here/tools/wine-harness.sh"
        wine_use_prefix win64
        timeout -k 10 2400 wine "$@" </dev/null >"$out" 2>/dev/null
    ) || status=$?
    tr -d '\r' <"$out"
    return $status
}

# Users who are not logged on: a profile folder with a Wine-format NTUSER.DAT (the only format Wine
# loads) holding per-user installer keys of other products, and a profile-list entry.
add_profiles() {
    local i sid
    for i in $(seq "$profiles"); do
        sid="S-1-5-21-0-0-0-$((2000 + i))"
        python3 - "$prefix/drive_c/users/bench$i" "$profile_keys" "$i" <<'PY'
import os, sys
home, keys, n = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
os.makedirs(os.path.join(home, "Desktop"), exist_ok=True)
esc = lambda text: text.replace("\\", "\\\\")
lines = ["WINE REGISTRY Version 2", "",
         "[" + esc(r"Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders") + "] 0",
         '"Desktop"="' + esc(r"C:\users\bench%d\Desktop" % n) + '"', ""]
for k in range(keys):
    kind = ("Products", "Features", "UpgradeCodes")[k % 3]
    lines += ["[" + esc(r"Software\Microsoft\Installer\%s\%08X%024X" % (kind, n, k)) + "] 0",
              '"ProductName"="Noise %d"' % k, ""]
open(os.path.join(home, "NTUSER.DAT"), "w", newline="").write("\r\n".join(lines) + "\r\n")
PY
        in_prefix reg add "HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion\ProfileList\\$sid" \
            /v ProfileImagePath /t REG_EXPAND_SZ /d "%SystemDrive%\users\bench$i" /f >/dev/null
    done
}

say "building the broken stand-in machine"
machine --stop || { cat "$base/machine.log" >&2; exit 1; }
cp "$prefix"/*.reg "$base/"

largest="$(printf '%s\n' $sizes | sort -n | tail -1)"
for n in $sizes; do
    stop_server
    cp "$base"/*.reg "$prefix/"
    [ "$n" -gt 0 ] && python3 "$here/standin/noise.py" "$prefix" --components "$n" >/dev/null
    machine --resume || { cat "$base/machine.log" >&2; exit 1; }
    add_profiles
    work="$prefix/drive_c/qbench"
    mkdir -p "$work"
    cp "$build/app/quellor.exe" "$build/tools/bench/bench-runner.exe" "$build/tools/bench/registry-floor.exe" \
       "$build/tools/bench/quellor-bench.exe" "$work/"
    for run in $(seq "$repeats"); do
        line="$(in_prefix 'C:\qbench\bench-runner.exe' collect 'C:\qbench\quellor.exe')" ||
            { say "N=$n: the collection did not reach the confirmation"; printf '%s\n' "$line" >&2; exit 1; }
        echo "$n collect $line" | tee -a "$results"
        loaded="$(cat "$work"/infoLog_* | grep -c 'ログオンしていないユーザーのレジストリを読み込んで検索します。' || true)"
        [ "$loaded" -ge "$profiles" ] || { say "N=$n: only $loaded of $profiles profiles were loaded"; exit 1; }
        line="$(in_prefix 'C:\qbench\bench-runner.exe' run 'C:\qbench\registry-floor.exe')" ||
            { say "N=$n: the floor did not run"; printf '%s\n' "$line" >&2; exit 1; }
        echo "$n floor $line" | tee -a "$results"
        rm -f "$work"/infoLog_*
    done
    # The removal changes the machine, so it runs once, last, on the heaviest one.
    if [ "$n" = "$largest" ]; then
        line="$(in_prefix 'C:\qbench\bench-runner.exe' remove 'C:\qbench\quellor-bench.exe')" ||
            { say "N=$n: the removal did not reach its end check"; printf '%s\n' "$line" >&2; exit 1; }
        echo "$n endcheck $line" | tee -a "$results"
    fi
done
stop_server

python3 - "$results" <<'EOF'
import re, statistics, sys
runs = {}
for line in open(sys.argv[1]):
    n, kind, rest = line.split(" ", 2)
    fields = dict(re.findall(r"(\w+)=(\S+)", rest))
    runs.setdefault(int(n), {}).setdefault(kind, []).append(fields)
print()
print("| N (noise components) | collection (median) | floor (median) | ratio | peak working set | end check (removal run) | peak working set (removal run) |")
print("|---:|---:|---:|---:|---:|---:|---:|")
for n in sorted(runs):
    collect = statistics.median(float(r["seconds"]) for r in runs[n]["collect"])
    floor = statistics.median(float(r["seconds"]) for r in runs[n]["floor"])
    peak = max(int(r["peak_bytes"]) for r in runs[n]["collect"]) / 2**20
    end = runs[n].get("endcheck")
    end_text = f"{float(end[0]['seconds']):.2f} s | {int(end[0]['peak_bytes']) / 2**20:.1f} MB" if end else "– | –"
    print(f"| {n:,} | {collect:.2f} s | {floor:.2f} s | {collect / floor:.1f} | {peak:.1f} MB | {end_text} |")
EOF
