#!/usr/bin/env python3
"""End-to-end runs of quellor.exe on stand-in machines.

    e2e.py --build-dir BUILD SCENARIO [--arch win64|win32]

Each scenario prepares a Wine prefix with standin/machine.sh, runs quellor.exe there as a process
with scripted standard input, and checks the console text, the information log, the exit code and
a snapshot diff of the machine (standin/snapshot.py). Prefixes live below $QUELLOR_WINE_ROOT/standin
(the builder's own root); every wineserver started here is stopped before the script ends.
"""
import argparse
import contextlib
import datetime
import difflib
import glob
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(os.path.dirname(HERE))
SNAPSHOT = os.path.join(REPO, "standin", "snapshot.py")
MACHINE = os.path.join(REPO, "standin", "machine.sh")
NOISE = os.path.join(REPO, "standin", "noise.py")
WINE_PATH = os.path.join(REPO, "tools", "wine-path.sh")


def wine_path_environment():
    """What tools/wine-path.sh exports for this machine's path (native, or emulated with its remedy),
    unless the caller (tools/test.sh) has already done so."""
    if "QUELLOR_WINE_PATH" in os.environ:
        return dict(os.environ)
    done = subprocess.run(["bash", "-c", 'source "$0" && env -0', WINE_PATH], capture_output=True, check=True,
                          timeout=60)
    return dict(entry.split("=", 1) for entry in done.stdout.decode().split("\0") if "=" in entry)


ENVIRONMENT = wine_path_environment()
LIMIT_SCALE = int(ENVIRONMENT.get("QUELLOR_LIMIT_SCALE", "1"))
EMULATED = ENVIRONMENT.get("QUELLOR_WINE_PATH") == "emulated"


def scaled(seconds):
    """A limit on the platform's own work (building a machine, starting a Wine program) on this path.
    Limits that the product's behaviour decides are never scaled."""
    return seconds * LIMIT_SCALE

PRODUCT_CODE = "{A8A29C11-24A3-2E3D-2CDA-E9F333B92BB5}"
PACKED_PRODUCT = "11C92A8A3A42D3E2C2AD9E3F339BB25B"
RELATED_CODE = "{13798FCF-C5C1-F702-640D-B7BA53A1B88A}"  # 1.0.13.0, the builder's "other version"
PACKED_RELATED = "FCF897311C5C207F46D07BAB351A8BA8"
SHARED_COMPONENT = "{3A6F0C11-7D2E-4B5A-9C01-A1B2C3D400FF}"
USER_INSTALL_DAT_COMPONENT = "{3A6F0C11-7D2E-4B5A-9C01-A1B2C3D40020}"  # key path 01:\Software\...\InstallData
USER_ID = "{5E0C9A47-2B81-4D36-9F1E-7A3C5B8D0E62}"  # the product's per-user id
OTHER_USER_ID = "{0D6B3F52-8C14-4A7E-B29D-5F1E7C3A9B40}"  # per-user settings of another install
USER_SID = "S-1-5-21-0-0-0-1000"
PACKED_SHARED_COMPONENT = "11C0F6A3E2D7A5B4C9101A2B3C4D00FF"
CORVANE_CODES = {"before": "{C0A7E3B0-5D21-4C8E-9F3A-6B1D2E4F5A60}",
                 "after": "{C0A7E3BF-5D21-4C8E-9F3A-6B1D2E4F5A61}"}
PRODUCT_PROCESSES = ("VitraCare.exe", "VitraSetting.exe", "VitraResident.exe", "Ferrow_klq_1_0_0.exe",
                     "TerrionService.exe")
WORK = "qwork"  # C:\qwork: the operator's folder, holding quellor.exe, the settings file and the logs

# What a completed removal leaves on purpose, as lines of a diff against the clean prefix.
# Each entry: (pattern, why).
KEPT_ON_PURPOSE = [
    (r"^\+ D C:\\Program Files( \(x86\))?(\\Common Files)?\\{c}$", "the vendor folder above the install folder"),
    (r"^\+ D C:\\ProgramData\\{c}$", "the vendor folder above the common data folder"),
    (r"^\+ D C:\\users\\[^\\]+\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\{c}$",
     "the vendor menu folder: only the product's program groups are deleted"),
    (r"^\+ D C:\\windows\\Installer$", "the installer's cache folder itself"),
    (r"^\+ K HKLM\\Software\\Classes\\Installer(\\Features|\\Products|\\UpgradeCodes)?$",
     "the installer's container keys"),
    (r"^\+ K HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Installer\\(UpgradeCodes|UserData"
     r"(\\S-1-5-18(\\Components|\\Products)?)?)$", "the installer's container keys"),
    (r"^\+ [KV] HKLM\\Software\\(Wow6432Node\\)?Microsoft\\Windows\\CurrentVersion\\SharedDLLs( |$)",
     "the shared-DLL counts are the installer's, not the product's"),
    (r"^\+ K HKLM\\Software\\(Wow6432Node\\)?{c}(\\Velkor)?$",
     "of the product key only its default value is deleted; the vendor key stays"),
    (r"^\+ [DF] C:\\{w}(\\|$| )", "the operator's folder with quellor.exe and its log"),
    (r"^\+ [DF] C:\\ProgramData\\Quellor(\\|$| )", "the removal journals, kept for a later run"),
]

# Wine deviation: Wine's MsiGetComponentPathW answers "absent" for registry key paths, so the per-user
# settings (found through those paths on Windows) are never seen under Wine's own msi.dll.
WINE_KEY_PATH_RESIDUE = [
    (r"^\+ [KV] HKU\\[^\\]+\\Software\\{c}(\\|$| )", "per-user settings key: Wine deviation"),
    (r"^\+ [DF] C:\\users\\[^\\]+\\AppData\\Roaming\\{c}(\\|$| )", "per-user settings files: Wine deviation"),
]

# With Windows' answer the per-user settings go; what stays are the keys and folders above them.
PER_USER_PARENTS = [
    (r"^\+ K HKU\\[^\\]+\\Software\\{c}(\\Velkor(\\Common(\\Ferrow)?)?)?$", "the vendor keys above the per-user key"),
    (r"^\+ D C:\\users\\[^\\]+\\AppData\\Roaming\\{c}(\\Velkor(\\Common(\\Ferrow(\\{u}(\\AppData"
     r"(\\Velkor)?)?)?)?)?)?$", "the folders above install.dat and Scheduler"),
]


class Failure(Exception):
    pass


# The service manager dying in a call (1726, then 1722 once it has gone) or no longer answering (258):
# what the 32-bit prefix's services.exe does now and then under qemu-i386, never the product.
SERVICE_MANAGER_BROKEN = re.compile(r"Terrionサービスの(停止|登録解除)ができませんでした。\(エラーコード: (1726|1722|258)\)".encode())


class PlatformFailure(Failure):
    """Wine's own processes failing under qemu-i386, never the product: a stand-in state that does not
    build, the service manager failing the service's stop, or a run that hangs."""


def check(condition, message):
    if not condition:
        raise Failure(message)


class Machine:
    def __init__(self, build, arch):
        self.build = build
        self.arch = arch
        root = os.environ.get("QUELLOR_WINE_ROOT", "/tmp/quellor-wine-" + os.environ.get("USER", "root"))
        self.root = os.path.join(root, "standin")
        self.prefix = os.path.join(self.root, arch)
        self.env = dict(ENVIRONMENT, QUELLOR_WINE_ROOT=root, WINEPREFIX=self.prefix, WINEARCH=arch,
                        HOME=os.path.join(self.root, "home-" + arch), WINEDEBUG="-all", DISPLAY="",
                        WINEDLLOVERRIDES="winemenubuilder.exe=d;winedbg.exe=d;mscoree=d;mshtml=d")
        self.env.pop("STANDIN_WINE_ROOT", None)
        self.snapshots = tempfile.mkdtemp(prefix="quellor-e2e-")
        self.runs = 0
        self.last_log = None

    def prepare(self, state, *extra, stop=False):
        args = ["bash", MACHINE, "--build-dir", self.build, "--arch", self.arch, "--state", state, *extra]
        if stop:
            args.append("--stop")
        machine_log = os.path.join(self.snapshots, "machine.log")
        with open(machine_log, "ab") as log:
            start = log.tell()
            done = subprocess.run(args, env=self.env, stdin=subprocess.DEVNULL, stdout=log, stderr=log,
                                  timeout=scaled(600))
        if done.returncode != 0:
            with open(machine_log, "rb") as log:
                log.seek(start)
                said = log.read().decode(errors="replace").splitlines()
            raise PlatformFailure(f"machine.sh --state {state} failed ({done.returncode}); it said last:\n"
                                  + "\n".join(said[-40:]))

    def stop(self):
        """Stops the server and every process of the prefix, also one that has outlived its server (a
        process that stopped answering, seen under qemu-i386)."""
        subprocess.run(["timeout", "-k", "5", str(scaled(60)), "wineserver", "-k"], env=self.env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        for pid, _ in self.prefix_processes():
            with contextlib.suppress(OSError):
                os.kill(pid, 9)

    def snapshot(self, name):
        """Dumps the stopped prefix (the .reg files are written lazily)."""
        self.stop()
        path = os.path.join(self.snapshots, name + ".snap")
        subprocess.run([sys.executable, SNAPSHOT, "dump", self.prefix, "-o", path], check=True, timeout=300)
        return path

    def state_snapshot(self, state, *extra):
        self.prepare(state, *extra, stop=True)
        return self.snapshot(state)

    def resume_for_removal(self, state):
        """Resumes a state built with --stop for a run that stops the product. Wine starts the StartUp
        shortcuts when the session begins, and second copies of the resident components would make
        their stop wait out its bound; the shortcuts are set aside while the session begins."""
        startup = glob.glob(self.drive_c("users", "*", "AppData", "Roaming", "Microsoft", "Windows", "Start Menu",
                                         "Programs", "StartUp", "*.lnk"))
        aside = tempfile.mkdtemp(prefix="quellor-startup-")
        moved = [(path, os.path.join(aside, str(n))) for n, path in enumerate(startup)]
        for path, kept in moved:
            shutil.move(path, kept)
        try:
            self.prepare(state, "--resume")
        finally:
            for path, kept in moved:
                shutil.move(kept, path)
            shutil.rmtree(aside, ignore_errors=True)

    def drive_c(self, *parts):
        return os.path.join(self.prefix, "drive_c", *parts)

    def put_in_work_folder(self, source, name):
        os.makedirs(self.drive_c(WORK), exist_ok=True)
        shutil.copyfile(source, self.drive_c(WORK, name))

    def run_quellor(self, arguments, answers, extra_env=None, exe=("app", "quellor.exe")):
        """Runs quellor.exe in C:\\qwork; output goes to a file, never to a pipe we wait on."""
        work = self.drive_c(WORK)
        os.makedirs(work, exist_ok=True)
        shutil.copyfile(os.path.join(self.build, *exe), os.path.join(work, "quellor.exe"))
        for old in os.listdir(work):
            if old.startswith("infoLog_"):
                os.remove(os.path.join(work, old))
        self.runs += 1
        out_path = os.path.join(self.snapshots, f"run{self.runs}-console.txt")
        env = dict(self.env, **(extra_env or {}))
        started = time.time()
        with open(out_path, "wb") as out:
            # A run is bounded by the product's own waits (two minutes for a child at most), not by
            # the platform's speed: ten minutes hold on both paths.
            done = subprocess.run(["timeout", "-k", "10", "600", "wine", "quellor.exe", *arguments],
                                  input=answers.encode(), stdout=out, stderr=subprocess.DEVNULL, cwd=work, env=env)
        elapsed = time.time() - started
        console = open(out_path, "rb").read().decode("utf-8")
        logs = [n for n in os.listdir(work) if n.startswith("infoLog_")]
        for name in logs:  # kept beside the snapshots, should the scenario fail
            shutil.copyfile(os.path.join(work, name), os.path.join(self.snapshots, f"run{self.runs}-{name}"))
        self.last_log = os.path.join(self.snapshots, f"run{self.runs}-{logs[0]}") if logs else None
        if EMULATED and done.returncode == 124:
            raise PlatformFailure("the run did not end within 600 s (under emulation Wine's service manager has been "
                                  "seen to stop answering)")
        check(len(logs) == 1, f"expected one information log, found {logs}")
        log = open(os.path.join(work, logs[0]), "rb").read()
        if EMULATED and SERVICE_MANAGER_BROKEN.search(log):
            raise PlatformFailure("Wine's service manager failed the service's stop (RPC error 1726 or 1722, or no "
                                  "answer within the limit, 258, in the log)")
        check(not log.startswith(b"\xef\xbb\xbf"), "the log starts with a byte-order mark")
        check(b"\n" not in log.replace(b"\r\n", b""), "the log has a line end other than CR LF")
        return Run(done.returncode, console, log.decode("utf-8").replace("\r\n", "\n"), elapsed)

    def prefix_processes(self):
        """Live processes of this prefix: (Unix pid, command line)."""
        found = []
        for pid in filter(str.isdigit, os.listdir("/proc")):
            try:
                environ = open(f"/proc/{pid}/environ", "rb").read().split(b"\0")
                cmdline = open(f"/proc/{pid}/cmdline", "rb").read().replace(b"\0", b" ").decode(errors="replace")
                status = open(f"/proc/{pid}/status").read()
            except OSError:
                continue
            if ("WINEPREFIX=" + self.prefix).encode() in environ and "\nState:\tZ" not in status:
                found.append((int(pid), cmdline.strip()))
        return found

    def product_processes(self):
        """Live processes of this prefix whose command line names one of the product's programs."""
        return [cmdline for _, cmdline in self.prefix_processes()
                if any(name.lower() in cmdline.lower() for name in PRODUCT_PROCESSES)]

    def wine_status(self, *args):
        """Runs a Wine command in the prefix, output to nowhere; its Unix exit code."""
        return subprocess.run(["timeout", "-k", "5", str(scaled(30)), "wine", *args], env=self.env, stdin=subprocess.DEVNULL,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode

    def standin_exec(self, *args, extra_env=None, limit=scaled(30)):
        return self.wine(os.path.join(self.build, "standin", "bin", "StandinExec.exe"), *args, extra_env=extra_env,
                         limit=limit)

    def uninstall_other(self, code, what):
        """An ordinary msiexec /x of another product or version, which must succeed. It often starts the
        stopped prefix first, so it may take longer than a Wine command. Under emulation, StandinExec
        printing no exit code at all (cut off, or ended by qemu-i386) is the platform's failure."""
        started = time.time()
        result = self.standin_exec("wait", "--", "msiexec", "/x", code, "/qn", limit=scaled(90))
        if EMULATED and "exit code" not in result:
            raise PlatformFailure(f"msiexec /x of {what} gave no exit code in {time.time() - started:.0f} s")
        check("exit code 0\n" in result, f"msiexec /x of {what}: {result}")

    def wine(self, *args, extra_env=None, limit=scaled(30)):
        """A Windows program's output; it goes to a file, never to a pipe that Wine's services inherit."""
        with tempfile.TemporaryFile() as out:
            subprocess.run(["timeout", "-k", "5", str(limit), "wine", *args], env=dict(self.env, **(extra_env or {})),
                           stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.DEVNULL)
            out.seek(0)
            return out.read().decode(errors="replace").replace("\r", "")

    def stop_service(self, name, limit=scaled(30)):
        """net.exe returns before the service has stopped: waits, bounded, for the stopped state (1)."""
        self.wine("net", "stop", name)
        deadline = time.time() + limit
        while re.search(r"STATE\s*:\s*[2-7]", self.wine("sc", "query", name)):
            check(time.time() < deadline, f"the service {name} did not stop")
            time.sleep(0.5)

    def wine_quiet(self, *args):
        subprocess.run(["timeout", "-k", "5", str(scaled(30)), "wine", *args], env=self.env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)

    def roaming(self, *parts):
        users = [u for u in os.listdir(self.drive_c("users")) if u.lower() != "public"]
        check(len(users) == 1, f"expected one user folder, found {users}")
        return self.drive_c("users", users[0], "AppData", "Roaming", *parts)

    @contextlib.contextmanager
    def windows_key_path_answers(self):
        """Puts MsiProxy.dll in place of the system msi.dll, with Wine's own file beside it as winemsi.dll,
        and yields the environment that makes a process load it (a native override for msi): without the
        override Wine keeps its builtin msi.dll whatever the file holds. Undone at the end, and by
        machine.sh's reset should the run be cut off."""
        system = self.drive_c("windows", "syswow64" if self.arch == "win64" else "system32")
        msi, wine = os.path.join(system, "msi.dll"), os.path.join(system, "winemsi.dll")
        shutil.copyfile(msi, wine)
        shutil.copyfile(os.path.join(self.build, "standin", "bin", "MsiProxy.dll"), msi + ".proxy")
        os.replace(msi + ".proxy", msi)
        try:
            yield dict(WINEDLLOVERRIDES=self.env["WINEDLLOVERRIDES"] + ";msi=n")
        finally:
            os.replace(wine, msi)


class Run:
    def __init__(self, exit_code, console, log, elapsed):
        self.exit_code = exit_code  # Unix view: 0, or 255 for -1
        self.console = console
        self.log = log
        self.elapsed = elapsed

    def expect(self, *texts):
        for text in texts:
            check(text in self.console, f"console lacks: {text!r}")
            check(text in self.log, f"log lacks: {text!r}")

    def expect_in_log(self, *texts):
        for text in texts:
            check(text in self.log, f"log lacks: {text!r}")

    def expect_absent(self, *texts):
        for text in texts:
            check(text not in self.console, f"console unexpectedly has: {text!r}")

    def log_section(self, heading):
        """The lines the log lists under a removal heading, up to its empty line."""
        at = self.log.find(heading + "\n")
        check(at >= 0, f"log lacks heading {heading}")
        body = self.log[at + len(heading) + 1:]
        return body[:body.find("\n\n") + 1].splitlines() if "\n\n" in body else body.splitlines()


def diff(a, b, *mode):
    done = subprocess.run([sys.executable, SNAPSHOT, "diff", a, b, *mode], capture_output=True, text=True,
                          check=True, timeout=300)
    return [line for line in done.stdout.splitlines() if line.strip()]


def unexplained(lines, customer="ZEKT", extra=(), kept=KEPT_ON_PURPOSE + WINE_KEY_PATH_RESIDUE):
    patterns = [re.compile(p.replace("{c}", customer).replace("{w}", WORK).replace("{u}", re.escape(USER_ID)),
                           re.IGNORECASE) for p, _ in kept] + [re.compile(p, re.IGNORECASE) for p in extra]
    return [line for line in lines if not any(p.search(line) for p in patterns)]


def only_work_folder(lines):
    """The lines of a diff but those of the run's own records: the operator's folder and the journals."""
    return [line for line in lines
            if not re.match(r"^[+~-] [DF] C:\\(" + WORK + r"|ProgramData\\Quellor)(\\|$| )", line, re.IGNORECASE)]


# ---- the COM registrations as real installers write them (docs/standin.md) ----

LOCAL_SERVERS = {"Ferrow": "{0F176F16-C1BE-51d9-2826-B6641F4C4C3A}",
                 "Ventrel": "{97F7CD52-5C94-9b4c-8F6A-82C822B3D6E0}",
                 "Novex": "{66DD3643-314F-D467-CEB1-B75CEE9A5AF5}",
                 "Terrion": "{1BE3A785-8017-545C-62F3-D5C10ACC50BD}"}
TYPE_LIBRARIES = {name: "{5D3E8F21-6A7B-4C8D-9E0F-1A2B3C4D5E6%d}" % n
                  for n, name in enumerate(("Ferrow", "Ventrel", "Novex", "Terrion"), 1)}
# Interface id -> the proxy that marshals it (its ProxyStubClsid32).
PROXIED_INTERFACES = {"{5D3E8F22-6A7B-4C8D-9E0F-1A2B3C4D5E61}": "{C10CE499-BEAA-FC65-979B-6227A97255C2}",
                      "{5D3E8F22-6A7B-4C8D-9E0F-1A2B3C4D5E62}": "{C10CE499-BEAA-FC65-979B-6227A97255C2}",
                      "{5D3E8F22-6A7B-4C8D-9E0F-1A2B3C4D5E63}": "{4A4724EA-E7FE-68e6-7AC9-BF18DEC0FC20}",
                      "{5D3E8F22-6A7B-4C8D-9E0F-1A2B3C4D5E64}": "{9D406394-BD56-70FD-BC9D-878734DB1AB6}",
                      "{4A4724EA-E7FE-68e6-7AC9-BF18DEC0FC20}": "{4A4724EA-E7FE-68e6-7AC9-BF18DEC0FC20}"}
# The ProgID, VersionIndependentProgID, TypeLib and Interface keys of the product, in a snapshot.
SERVER_NAMED_KEYS = re.compile(r"^[KV] HKLM\\Software\\Classes\\(Wow6432Node\\)?"
                               r"(ZEKT\.(Ferrow|Ventrel|Novex|Terrion)(\.1)?|TypeLib\\\{5D3E8F21-[^}]+\}"
                               r"|Interface\\\{(5D3E8F22-[^}]+|4A4724EA-E7FE-68e6-7AC9-BF18DEC0FC20)\})(\\| |$)",
                               re.IGNORECASE)


def reg_text(text):
    """A string value as the snapshot shows it (Wine's .reg escaping)."""
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


def server_named_keys(snapshot_path):
    lines = open(snapshot_path, encoding="utf-8").read().splitlines()
    return [line for line in lines if SERVER_NAMED_KEYS.search(line)]


def check_real_registrations(m, snapshot_path):
    """The machine carries the registrations the scenarios are about, in the CLSID keys' view: Ferrow's
    server a quoted command line with an argument, Ventrel's in another letter case than its file, and
    the keys the CLSID keys name. Written through HKCR by 32-bit code, the CLSID and Interface keys land
    in the 32-bit branch and the ProgID and TypeLib keys in the shared one (both views see them)."""
    entries = {line.lower() for line in open(snapshot_path, encoding="utf-8").read().splitlines()}
    shared = "HKLM\\Software\\Classes\\"
    classes = shared + ("Wow6432Node\\" if m.arch == "win64" else "")
    folder = ("C:\\Program Files (x86)" if m.arch == "win64" else "C:\\Program Files") + "\\ZEKT\\Velkor\\"
    expected = [f"V {classes}CLSID\\{LOCAL_SERVERS['Ferrow']}\\LocalServer32 | @ = "
                + reg_text(f'"{folder}Ferrow_klq_1_0_0.exe" /automation'),
                f"V {classes}CLSID\\{LOCAL_SERVERS['Ventrel']}\\LocalServer32 | @ = "
                + reg_text(folder + "VENTREL.EXE"),
                f"V {classes}CLSID\\{LOCAL_SERVERS['Terrion']}\\LocalServer32 | @ = "
                + reg_text(folder + "TerrionService.exe")]
    for name, clsid in LOCAL_SERVERS.items():
        progid, libid = "ZEKT." + name, TYPE_LIBRARIES[name]
        expected += [f"V {classes}CLSID\\{clsid}\\ProgID | @ = " + reg_text(progid + ".1"),
                     f"V {classes}CLSID\\{clsid}\\VersionIndependentProgID | @ = " + reg_text(progid),
                     f"V {classes}CLSID\\{clsid}\\TypeLib | @ = " + reg_text(libid),
                     f"V {shared}{progid}.1\\CLSID | @ = " + reg_text(clsid),
                     f"V {shared}{progid}\\CLSID | @ = " + reg_text(clsid),
                     f"V {shared}{progid}\\CurVer | @ = " + reg_text(progid + ".1"),
                     f"K {shared}TypeLib\\{libid}\\1.0\\0\\win32"]
    for iid, proxy in PROXIED_INTERFACES.items():
        expected.append(f"V {classes}Interface\\{iid}\\ProxyStubClsid32 | @ = " + reg_text(proxy))
    missing = [line for line in expected if line.lower() not in entries]
    check(not missing, "the stand-in lacks registrations:\n" + "\n".join(missing))


ANSWER_YES = "y\n" * 12

# ---- scenarios ----


def removal_of_broken_install(m, args):
    """The situation the tool exists for: every trace goes, nothing else changes."""
    pristine = m.state_snapshot("not-installed")
    before = m.state_snapshot("broken")
    check_real_registrations(m, before)
    m.prepare("broken")
    check(m.product_processes(), "the product is not running before the removal")
    # An administrator runs the tool from a download folder: a regsvr32.exe or net.exe lying there
    # must never be started.
    for name in ("regsvr32.exe", "net.exe"):
        m.put_in_work_folder(os.path.join(m.build, "tests", "e2e", "quellor_planted_program.exe"), name)
    run = m.run_quellor([], ANSWER_YES)
    print(f"removal run (collection and removal) took {run.elapsed:.1f} s")
    starts = m.drive_c(WORK, "planted-starts.txt")
    check(not os.path.exists(starts),
          "planted programs were started:\n" + (open(starts, "rb").read().decode("utf-16-le") if os.path.exists(starts) else ""))
    check(run.exit_code == 0, f"exit code {run.exit_code}, expected 0")
    run.expect("削除対象のMirevoの製品コードと一致しました。", "強制削除が完了しました。",
               "VitraCareプロセスを停止しました。", "Terrionサービスを停止しました。", "Ferrowを停止しました。",
               "Terrionサービスの登録を解除しました。", "VentrelのCOMコンポーネントの登録を解除しました。",
               "TerrionPSのCOMコンポーネントの登録を解除しました。", "FerrowPSのCOMコンポーネントの登録を解除しました。",
               "NovexPSのCOMコンポーネントの登録を解除しました。")
    # Every server, whatever form its registration takes, is unregistered.
    run.expect(*[f"{name}のCOMコンポーネントの登録を解除しました。" for name in LOCAL_SERVERS])
    check(not m.product_processes(), f"product processes still run: {m.product_processes()}")

    machine_keys = run.log_section("[HKEY_LOCAL_MACHINEで削除したレジストリ]")
    view = "Wow6432Node\\" if m.arch == "win64" else ""
    for key in (f"HKEY_LOCAL_MACHINE\\Software\\{view}Microsoft\\Windows\\CurrentVersion\\Uninstall\\{PRODUCT_CODE}\\",
                f"HKEY_LOCAL_MACHINE\\Software\\Classes\\Installer\\Products\\{PACKED_PRODUCT}\\",
                f"HKEY_LOCAL_MACHINE\\Software\\{view}ZEKT\\Velkor\\Common\\",
                f"HKEY_LOCAL_MACHINE\\Software\\{view}Classes\\Interface\\{{4A4724EA-E7FE-68e6-7AC9-BF18DEC0FC20}}\\"):
        check(key in machine_keys, f"deleted-key list lacks {key}")
    check(f"HKEY_LOCAL_MACHINE\\Software\\{view}ZEKT\\Velkor\\" in
          run.log_section("[HKEY_LOCAL_MACHINEで削除したレジストリのエントリ]"), "deleted value entry missing")
    program_files = "C:\\Program Files (x86)" if m.arch == "win64" else "C:\\Program Files"
    check(f"{program_files}\\ZEKT\\Velkor\n" in run.log, "the program folder is not in the log")
    if m.arch == "win32":
        check("Wow6432Node" not in run.log, "a Wow6432Node path was searched on 32-bit Windows")

    after = m.snapshot("after")
    named = server_named_keys(after)
    check(not named, "ProgID, TypeLib or Interface keys left:\n" + "\n".join(named))
    left = unexplained(diff(pristine, after))
    check(not left, "traces left that nothing explains:\n" + "\n".join(left))
    outside = only_work_folder(diff(before, after, "--outside-product"))
    check(not outside, "changed outside the product:\n" + "\n".join(outside))
    service = "Terrion KLQ Service"
    check(not any(service in line for line in open(after, encoding="utf-8")), "the service is still registered")

    # A second run on the cleaned machine finds nothing and still completes.
    run = m.run_quellor([], ANSWER_YES)
    check(run.exit_code == 0, f"second run: exit code {run.exit_code}")
    run.expect("削除対象のMirevoの製品コードが見つかりませんでした。", "削除対象のMirevoのファイルがありませんでした。",
               "強制削除が完了しました。")
    m.stop()


def folder_deleted(m, args):
    """The program folder deleted by hand, the service stopped, another product beside it: the
    servers that can no longer unregister themselves are unregistered by the tool, the service whose
    file is gone is deleted, and every trace goes; the other product keeps all it has."""
    pristine = m.state_snapshot("not-installed")
    before = m.state_snapshot("folder-deleted")
    run = m.run_quellor([], ANSWER_YES)
    after = m.snapshot("after")
    corvane = CORVANE_CODES["before"]
    m.uninstall_other(corvane, "the other product")
    m.stop()
    check(run.exit_code == 0, f"exit code {run.exit_code}, expected 0")
    run.expect("強制削除が完了しました。")
    named = server_named_keys(after)
    check(not named, "ProgID, TypeLib or Interface keys left:\n" + "\n".join(named))
    text = open(after, encoding="utf-8").read()
    check("Terrion KLQ Service" not in text, "the service is still registered")
    for clsid in LOCAL_SERVERS.values():
        check(clsid.lower() not in text.lower(), f"CLSID {clsid} is still registered")
    # The other product's traces: its codes (braced and packed), its name, and its cached package.
    codes = (corvane, "{7C3B1E52-9A0D-4F86-B2E1-5D4C3B2A1F07}", "{8D4E2F63-1B0A-4C97-A3F2-6E5D4C3B2A11}",
             "{3A6F0C11-7D2E-4B5A-9C01-A1B2C3D400FF}")
    package = re.search(packed_code(corvane) + r"\\InstallProperties \| LocalPackage = \"(.*?)\"", text, re.IGNORECASE)
    check(package, "the other product's LocalPackage is gone")
    names = [re.escape(c.strip("{}")) for c in codes] + [packed_code(c) for c in codes]
    names.append(re.escape(package.group(1).replace("\\\\", "\\")))
    names.append(r"^[-+~] [DF] C:\\Program Files[^\\]*\\Corvane(\\| |$)")
    corvane_traces = re.compile("|".join(names), re.IGNORECASE)
    left = [line for line in unexplained(diff(pristine, after)) if not corvane_traces.search(line)]
    check(not left, "traces left that nothing explains:\n" + "\n".join(left))
    touched = [line for line in diff(before, after) if corvane_traces.search(line) and PACKED_PRODUCT not in line]
    check(not touched, "the other product's registrations or files changed:\n" + "\n".join(touched))


def patched(m, args):
    """Two patches applied: the one of the product alone goes whole (its keys, its cached .msp, the
    product's patch cache); the one another product has too keeps its keys and its .msp, and only the
    product's entries for it go."""
    m.prepare("patched")
    one, shared = "{D1A2B3C4-5E6F-4A70-8B91-C2D3E4F5A601}", "{D1A2B3C4-5E6F-4A70-8B91-C2D3E4F5A602}"
    corvane = packed_code(CORVANE_CODES["before"])
    run = m.run_quellor([], ANSWER_YES)
    after = m.snapshot("after")
    m.stop()
    check(run.exit_code == 0, f"exit code {run.exit_code}, expected 0")
    run.expect("強制削除が完了しました。")
    text = open(after, encoding="utf-8").read()
    classes = "HKLM\\Software\\Classes\\Installer\\"
    user_data = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\S-1-5-18\\"
    for gone in (f"K {classes}Patches\\{packed_code(one)}\n", f"K {user_data}Patches\\{packed_code(one)}\n",
                 f"K {user_data}Products\\{PACKED_PRODUCT}\n", f"K {classes}Products\\{PACKED_PRODUCT}\n"):
        check(gone not in text, f"still there: {gone.strip()}")
    for kept in (f"K {classes}Patches\\{packed_code(shared)}\n", f"K {user_data}Patches\\{packed_code(shared)}\n",
                 f"K {user_data}Products\\{corvane}\\Patches\\{packed_code(shared)}\n"):
        check(kept in text, f"the shared patch lost {kept.strip()}")
    check(f"V {classes}Products\\{corvane}\\Patches | {packed_code(shared)} = " in text,
          "the other product's entry for the shared patch is gone")
    installer = m.drive_c("windows", "Installer")
    check(not os.path.exists(os.path.join(installer, "5a1f.msp")), "the product's own patch package is still there")
    check(os.path.isfile(os.path.join(installer, "5a2f.msp")), "the shared patch's package was deleted")
    check(not os.path.exists(os.path.join(installer, "$PatchCache$", "Managed", PACKED_PRODUCT)),
          "the product's patch cache is still there")
    run.expect_in_log(f"{shared}\n")


def shared_component(m, args):
    """A file that another product shares stays, with that product's registration."""
    corvane = args.corvane
    m.prepare("shared-component", "--corvane", corvane, stop=True)
    before = m.snapshot("before")
    owner_before = m.standin_exec("owner", SHARED_COMPONENT)
    m.prepare("shared-component", "--resume")
    run = m.run_quellor([], ANSWER_YES)
    check(run.exit_code == 0, f"exit code {run.exit_code}")
    run.expect("他のプログラムと共有しているコンポーネントが見つかりました。", "強制削除が完了しました。")
    owner_after = m.standin_exec("owner", SHARED_COMPONENT)
    m.stop()
    expected_owner = CORVANE_CODES[corvane] if corvane == "before" else PRODUCT_CODE
    check(expected_owner.lower() in owner_before.lower().split("clients")[0],
          f"the installer did not name {expected_owner} as owner:\n{owner_before}")
    check(CORVANE_CODES[corvane].lower() in owner_after.lower(),
          f"the other product is no longer a client of the shared component:\n{owner_after}")
    program_files = "Program Files (x86)" if m.arch == "win64" else "Program Files"
    folder = m.drive_c(program_files, "ZEKT", "Velkor")
    check(os.path.isfile(os.path.join(folder, "VelkorShared.dat")), "the shared file was deleted")
    others = sorted(set(os.listdir(folder)) - {"VelkorShared.dat"})
    check(not others, f"product files left beside the shared file: {others}")
    check(not os.path.exists(m.drive_c(program_files, "Common Files", "ZEKT", "Velkor")), "Common Files left")
    after = m.snapshot("after")
    text = open(after, encoding="utf-8").read()
    check(f"Uninstall\\{PRODUCT_CODE}" not in text, "the product's Uninstall key is still there")
    check(f"Uninstall\\{CORVANE_CODES[corvane]}" in text, "the other product's Uninstall key is gone")
    # The product's client value went from the shared component's key, so that Corvane's own uninstall
    # can remove the file later; Corvane's registrations did not change.
    check(PACKED_PRODUCT not in text, "the product is still registered as a client of the shared component")
    corvane_traces = re.compile(r"C0A7E3B[0F]-5D21|[0F]B3E7A0C12D5E8C4", re.IGNORECASE)
    touched = [line for line in diff(before, after) if corvane_traces.search(line)]
    check(not touched, "Corvane's registrations changed:\n" + "\n".join(touched))


def shared_path_missing(m, args):
    """A shared component whose file is not where the product's registration says: that registered path
    counts, the other product's registered file stays, and the product's files beside it go."""
    m.prepare("shared-component", "--corvane", "before")
    program_files = "Program Files (x86)" if m.arch == "win64" else "Program Files"
    # The product's registration of the shared component names a file that is not there: the installer
    # answers "absent" for the product, while the other product's registration still names the real file.
    key = ("HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\S-1-5-18\\Components\\"
           + PACKED_SHARED_COMPONENT)
    moved = f"C:\\{program_files}\\ZEKT\\Velkor\\Moved\\VelkorShared.dat"
    check(m.wine_status("reg", "add", key, "/v", PACKED_PRODUCT, "/t", "REG_SZ", "/d", moved, "/f", "/reg:64") == 0,
          "could not change the product's registration of the shared component")
    run = m.run_quellor([], ANSWER_YES)
    m.stop()
    folder = m.drive_c(program_files, "ZEKT", "Velkor")
    check(os.path.isfile(os.path.join(folder, "VelkorShared.dat")), "the shared file was deleted")
    others = sorted(set(os.listdir(folder)) - {"VelkorShared.dat"})
    check(not others, f"product files left beside the shared file: {others}")
    check(run.exit_code == 0, f"exit code {run.exit_code}")
    run.expect("他のプログラムと共有しているコンポーネントが見つかりました。", "強制削除が完了しました。")
    run.expect_absent("パスを取得できなかった")
    run.expect_in_log(SHARED_COMPONENT + "\n")


def without_process_list(log):
    """The log without the process list, which differs from one start of the product to the next."""
    start = log.index("プロセス情報を収集します...\n")
    end = log.index("プロセス情報を収集し、ログに出力しました。")
    return log[:start] + log[end:]


def noise_changes_nothing(m, args):
    """Other products' registrations change nothing; an msi.dll planted in the run folder is never loaded."""
    m.prepare("broken")
    quiet = m.run_quellor([], "n\n")
    m.stop()
    added = subprocess.run([sys.executable, NOISE, m.prefix, "--components", "5000"], capture_output=True, text=True,
                           timeout=300)
    check(added.returncode == 0, "noise.py failed:\n" + added.stderr)
    m.put_in_work_folder(os.path.join(args.build_dir, "tests", "e2e", "planted", "msi.dll"), "msi.dll")
    marker = m.drive_c(WORK, "planted-msi-loaded.txt")
    m.prepare("broken", "--resume")
    # Under Wine a bare-name load prefers the file found first only with a native override; Windows always does.
    native_msi = {"WINEDLLOVERRIDES": m.env["WINEDLLOVERRIDES"] + ";msi=n,b"}
    noisy = m.run_quellor([], "n\n", native_msi)
    m.stop()
    print(f"collection without noise {quiet.elapsed:.1f} s, with 5,000 noise components {noisy.elapsed:.1f} s")
    check(not os.path.exists(marker), "the msi.dll planted in the run folder was loaded")
    check(noisy.exit_code == 255 and quiet.exit_code == 255, "a run did not end at the confirmation")
    check("削除対象のMirevoの製品コードと一致しました。" in noisy.log, "the installer did not answer")
    a, b = without_process_list(quiet.log).splitlines(), without_process_list(noisy.log).splitlines()
    changed = [line for line in difflib.unified_diff(a, b, "without noise", "with noise", lineterm="", n=1)]
    check(not changed, "the noise changed the information log:\n" + "\n".join(changed[:40]))


def phase1_outcomes(m, args):
    """The four answers of the installation check."""
    # Registered, with another related version: the others are listed, Enter continues.
    m.prepare("two-versions")
    run = m.run_quellor([], "\nn\n")
    check(run.exit_code == 255, f"two-versions: exit code {run.exit_code}")
    run.expect("削除対象のMirevoの製品コードと一致しました。",
               "関連する以下の製品の強制削除は行わず、削除対象のMirevoの処理のみ行います。\n" + RELATED_CODE + "\n\nEnterで続行\n",
               "レジストリ削除、ファイル削除を開始してもよろしいですか？", "プログラムを終了します。")

    # Not registered, nothing related: the operator decides; N ends the run.
    m.prepare("not-installed")
    run = m.run_quellor([], "n\n")
    check(run.exit_code == 255, f"not-installed: exit code {run.exit_code}")
    run.expect("削除対象のMirevoの製品コードが見つかりませんでした。\n削除対象のMirevoのインストール情報が壊れている可能性があります。\n"
               "このまま削除対象のMirevoのファイル・レジストリの検索・削除処理を続行しますか？", "プログラムを終了します。")
    run.expect_absent("を検索します...")

    # Not registered, but another version is: listed, Enter ends the run.
    m.prepare("related-other")
    run = m.run_quellor([], "\n")
    check(run.exit_code == 255, f"related-other: exit code {run.exit_code}")
    run.expect("関連する以下の製品が見つかりましたが、削除対象のMirevoの製品コードと一致しませんでした。\n" + RELATED_CODE +
               "\n\nEnterで終了\n")
    run.expect_absent("を検索します...")
    m.stop()


def nothing_changes(m, state, arguments, answers, extra_env=None):
    before = m.state_snapshot(state)
    m.prepare(state, "--resume")
    run = m.run_quellor(arguments, answers, extra_env)
    after = m.snapshot("after-" + state)
    changed = only_work_folder(diff(before, after))
    return run, changed


def diagnosing(m, args):
    """A product in diagnosis is not touched."""
    run, changed = nothing_changes(m, "diagnosing", [], ANSWER_YES)
    check(run.exit_code == 255, f"exit code {run.exit_code}")
    run.expect("削除開始\n\n診断中のため強制削除を中断します。Enterで終了\n")
    run.expect_absent("を停止します。")
    check(not changed, "the machine changed:\n" + "\n".join(changed))


def answer_no(m, args):
    """N at the confirmation: nothing changes."""
    run, changed = nothing_changes(m, "broken", [], "n\n")
    check(run.exit_code == 255, f"exit code {run.exit_code}")
    check(run.console.endswith("レジストリ削除、ファイル削除を開始してもよろしいですか？\nYで処理を続行、Nでプログラムを終了します。\n"
                               "YかNを入力してください。\nプログラムを終了します。\n"), "the run did not end at the confirmation")
    check(not changed, "the machine changed:\n" + "\n".join(changed))


def no_after_failed_step(m, args):
    """N after a failed unregistration ends the run; the later steps are not done."""
    m.prepare("broken")
    # Ferrow's server reports -1 from /UNREGSERVER: its step fails and the operator answers N.
    run = m.run_quellor([], "y\nn\n", {"STANDIN_UNREGSERVER_EXIT_CODE": "4294967295"})
    check(run.exit_code == 255, f"exit code {run.exit_code}")
    run.expect("FerrowPSのCOMコンポーネントの登録を解除しました。",
               "\nFerrowのCOMコンポーネントの登録解除ができませんでした。(エラーコード: 4294967295)\n"
               "このまま削除対象のVitraCareの削除処理を続行しますか？", "プログラムを終了します。")
    run.expect_absent("NovexPSのCOMコンポーネントの登録を解除します。", "レジストリを削除します。", "強制削除が完了しました。")
    after = open(m.snapshot("after"), encoding="utf-8").read()
    check(f"Uninstall\\{PRODUCT_CODE}" in after, "registry was deleted after the run ended")
    check("{66DD3643-314F-D467-CEB1-B75CEE9A5AF5}" in after, "Novex was unregistered after the run ended")
    program_files = "Program Files (x86)" if m.arch == "win64" else "Program Files"
    check(os.path.isdir(m.drive_c(program_files, "ZEKT", "Velkor")), "files were deleted after the run ended")


def hung_server(m, args):
    """A local server that never ends on /UNREGSERVER: within the limit (shortened in the tests' build)
    its step fails, the server is ended, and N ends the run with nothing deleted."""
    m.prepare("broken")
    run = m.run_quellor([], "y\nn\n", {"STANDIN_UNREGSERVER_HANGS": "1"}, exe=("tests", "e2e", "quellor_short_wait.exe"))
    print(f"run with a hung server took {run.elapsed:.1f} s")
    check(run.exit_code == 255, f"exit code {run.exit_code}")
    # The failure line names the cause: the wait limit ended the server (WAIT_TIMEOUT).
    run.expect("FerrowPSのCOMコンポーネントの登録を解除しました。",
               "\nFerrowのCOMコンポーネントの登録解除ができませんでした。(エラーコード: 258)\n"
               "このまま削除対象のVitraCareの削除処理を続行しますか？", "プログラムを終了します。")
    run.expect_absent("レジストリを削除します。", "強制削除が完了しました。")
    check(run.elapsed < 120, f"the run took {run.elapsed:.0f} s: the wait was not bounded")
    hung = [p for p in m.product_processes() if "/unregserver" in p.lower()]
    check(not hung, f"the hung server still runs: {hung}")
    after = open(m.snapshot("after"), encoding="utf-8").read()
    check(f"Uninstall\\{PRODUCT_CODE}" in after, "registry was deleted after the run ended")


def plant_other_user_settings(m):
    """Per-user settings of another install beside the product's: a sibling key and folder under
    Ferrow, and a value of Ferrow itself. The removal must leave all of it."""
    ferrow = "HKCU\\Software\\ZEKT\\Velkor\\Common\\Ferrow"
    m.wine_quiet("reg", "add", ferrow, "/v", "KeepMe", "/d", "other install", "/f")
    m.wine_quiet("reg", "add", ferrow + "\\" + OTHER_USER_ID, "/v", "InstallData", "/d", "other install", "/f")
    other = m.roaming("ZEKT", "Velkor", "Common", "Ferrow", OTHER_USER_ID)
    os.makedirs(os.path.join(other, "AppData", "Velkor"), exist_ok=True)
    os.makedirs(os.path.join(other, "Scheduler"), exist_ok=True)
    with open(os.path.join(other, "AppData", "Velkor", "install.dat"), "w") as f:
        f.write("other install\n")


def windows_key_paths(m, args):
    """With Windows' answer for registry key paths, the per-user settings key and files go too."""
    pristine = m.state_snapshot("not-installed")
    m.prepare("broken", stop=True)
    plant_other_user_settings(m)
    before = m.snapshot("before")
    m.prepare("broken")
    plant_other_user_settings(m)
    with m.windows_key_path_answers() as windows:
        # msi.dll loaded by its full system path and by its bare name: Windows' answer under the override,
        # Wine's own without it.
        answers = m.standin_exec("path", PRODUCT_CODE, USER_INSTALL_DAT_COMPONENT, extra_env=windows)
        check(answers.count(": state 3 01:\\Software\\ZEKT\\Velkor\\Common\\Ferrow\\" + USER_ID + "\\InstallData") == 2,
              f"the stand-in msi.dll did not answer as Windows does:\n{answers}")
        answers = m.standin_exec("path", PRODUCT_CODE, USER_INSTALL_DAT_COMPONENT)
        check(answers.count(": state 2 01:\\") == 2, f"without the override Wine's msi.dll did not answer:\n{answers}")
        run = m.run_quellor([], ANSWER_YES, windows)
    check(run.exit_code == 0, f"exit code {run.exit_code}, expected 0")
    run.expect("強制削除が完了しました。")
    user_key = f"HKEY_USERS\\{USER_SID}\\Software\\ZEKT\\Velkor\\Common\\Ferrow\\{USER_ID}\\"
    check(run.log_section("[HKEY_USERSで削除したレジストリ]") == [user_key],
          "deleted per-user keys: " + repr(run.log_section("[HKEY_USERSで削除したレジストリ]")))
    user_folder = "\\AppData\\Roaming\\ZEKT\\Velkor\\Common\\Ferrow\\" + USER_ID
    check(re.search(r"\n.*" + re.escape(user_folder + "\\Scheduler\\") + "\n", run.log),
          "the Scheduler folder is not in the log")
    check(re.search(r"\n.*" + re.escape(user_folder + "\\AppData\\Velkor\\install.dat") + "\n", run.log),
          "install.dat is not in the log")
    check(OTHER_USER_ID not in run.log, "the other install's per-user settings were listed")

    after = m.snapshot("after")
    planted = [r"^\+ [KV] HKU\\[^\\]+\\Software\\ZEKT\\Velkor\\Common\\Ferrow( \| KeepMe|\\" + re.escape(OTHER_USER_ID) + ")",
               r"^\+ [DF] C:\\users\\[^\\]+\\AppData\\Roaming\\ZEKT\\Velkor\\Common\\Ferrow\\" + re.escape(OTHER_USER_ID)]
    left = unexplained(diff(pristine, after), extra=planted, kept=KEPT_ON_PURPOSE + PER_USER_PARENTS)
    check(not left, "traces left that nothing explains:\n" + "\n".join(left))
    # Of the per-user traces exactly the product's key, install.dat and Scheduler go: their parents and
    # the other install's settings stay as they were.
    per_user = [line for line in diff(before, after)
                if re.match(r"^[+~-] [KVDF] (HKU\\[^\\]+\\Software|C:\\users\\[^\\]+\\AppData\\Roaming)\\ZEKT\\", line)]
    ferrow = r"\\ZEKT\\Velkor\\Common\\Ferrow\\" + re.escape(USER_ID)
    gone = [r"^- [KV] HKU\\[^\\]+\\Software" + ferrow + r"($| )",
            r"^- F C:\\users\\[^\\]+\\AppData\\Roaming" + ferrow + r"\\AppData\\Velkor\\install\.dat = ",
            r"^- D C:\\users\\[^\\]+\\AppData\\Roaming" + ferrow + r"\\Scheduler$"]
    unexpected = [line for line in per_user if not any(re.match(p, line, re.IGNORECASE) for p in gone)]
    check(not unexpected, "per-user traces changed that are not the product's own:\n" + "\n".join(unexpected))
    for pattern in gone:
        check(any(re.match(pattern, line, re.IGNORECASE) for line in per_user), f"not removed: {pattern}")
    outside = only_work_folder(diff(before, after, "--outside-product"))
    check(not outside, "changed outside the product:\n" + "\n".join(outside))


def settings_file(m, args):
    """A settings file with another customer and version table drives the whole run."""
    tool = os.path.join(args.build_dir, "tools", "settings-tool", "quellor-settings.exe")
    source = os.path.join(HERE, "acme-settings.txt")
    pristine = m.state_snapshot("not-installed")
    m.prepare("broken", "--version", "2.5.0.0", "--customer", "ACME")
    work = m.drive_c(WORK)
    os.makedirs(work, exist_ok=True)
    shutil.copyfile(source, os.path.join(work, "acme-settings.txt"))
    shutil.copyfile(tool, os.path.join(work, "quellor-settings.exe"))
    written = subprocess.run(["timeout", str(scaled(60)), "wine", "quellor-settings.exe", "write", "acme-settings.txt",
                              "setting_ZEKT.dat"], cwd=work, env=m.env, stdin=subprocess.DEVNULL,
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    check(written.returncode == 0, "the settings tool could not write the file")
    run = m.run_quellor(["2.5.0.0"], ANSWER_YES)
    check(run.exit_code == 0, f"exit code {run.exit_code}")
    run.expect("設定ファイルを読み込みました。", "Ver.2.5.0.0 のMirevoの削除を行います。",
               "削除対象のMirevoの製品コードと一致しました。", "強制削除が完了しました。")
    run.expect_in_log("C:\\ProgramData\\ACME\\Velkor\n", "HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\ACME\\Velkor\\Common\\")
    after = m.snapshot("after")
    left = unexplained(diff(pristine, after), customer="ACME",
                       extra=[r"^\+ F C:\\" + WORK + r"\\(acme-settings\.txt|quellor-settings\.exe|setting_ZEKT\.dat)"])
    check(not left, "traces left that nothing explains:\n" + "\n".join(left))


def two_versions(m, args):
    """One of two versions that share every component goes; the other stays whole and can be uninstalled."""
    pristine = m.state_snapshot("not-installed")
    before = m.state_snapshot("two-versions")
    m.prepare("two-versions", "--resume")
    run = m.run_quellor([], "\n" + ANSWER_YES)
    check(run.exit_code == 0, f"exit code {run.exit_code}, expected 0")
    run.expect("他の製品が使用している項目は削除せずに残しました（一覧はログに出力しました）。", "強制削除が完了しました。")
    run.expect_absent("の登録を解除します。")
    spared = run.log_section("[他の製品のために削除せずに残した項目]")
    for item in ("サービス「Terrion KLQ Service」", "UpgradeCodes\\D3BDADF132C15117AC28250D473A7306\\",
                 "COMコンポーネントの登録 {1BE3A785-8017-545C-62F3-D5C10ACC50BD}"):
        at = next((i for i, line in enumerate(spared) if item in line), None)
        check(at is not None and spared[at + 1] == " - 使用している製品: " + RELATED_CODE,
              f"spared list lacks {item} kept for the other version:\n" + "\n".join(spared))

    # The target's own registrations are gone, its values in shared keys included. Checked here: an
    # ordinary uninstall under Wine deletes a whole UpgradeCodes key and would hide a value left in it.
    after = m.snapshot("after")
    text = open(after, encoding="utf-8").read()
    for trace in (PACKED_PRODUCT, PRODUCT_CODE):
        check(trace.lower() not in text.lower(), f"the target's {trace} is still registered")
    # Of the other version nothing changed: what changed is the target's own, or the settings and
    # shortcuts that every run removes (left as they are).
    protected = re.compile("|".join([PACKED_RELATED, RELATED_CODE[1:14], r"\\UpgradeCodes\\[0-9A-F]+$",
                                     r"\\Components\\[0-9A-F]+$", "Terrion KLQ Service", r"\\CLSID\\",
                                     r"\\AppID\\", r"\\Interface\\", r"\\TypeLib\\",
                                     r"\\Classes\\(Wow6432Node\\)?ZEKT\.", r"^. F C:\\Program Files( \(x86\))?\\",
                                     r"^. F C:\\ProgramData\\"]), re.IGNORECASE)
    touched = [line for line in only_work_folder(diff(before, after)) if protected.search(line)]
    check(not touched, "the other version changed:\n" + "\n".join(touched))

    # An ordinary uninstall of the other version now leaves nothing of it: the target no longer holds
    # the shared components. Wine deviation: its msiexec /x neither stops nor deletes the service (as on
    # an intact machine), so the service, started again with the prefix, is stopped first and its key stays.
    m.prepare("two-versions", "--resume")
    m.stop_service("Terrion KLQ Service")
    m.uninstall_other(RELATED_CODE, "the other version")
    left = unexplained(diff(pristine, m.snapshot("uninstalled")),
                       extra=[r"^\+ [KV] HKLM\\System\\CurrentControlSet\\Services\\Terrion KLQ Service( |$|\\)"])
    check(not left, "the other version left traces:\n" + "\n".join(left))


def program_folder(m):
    return m.drive_c("Program Files (x86)" if m.arch == "win64" else "Program Files", "ZEKT", "Velkor")


def windows_path(host_path):
    return "Z:" + host_path.replace("/", "\\")


def registry_lines(lines):
    return [line for line in lines if re.match(r"^[+~-] [KV] ", line)]


def backup_restores_registry(m, args):
    """A Y run backs up every registry target before its first change, and `reg import` of that backup
    through the 64-bit reg.exe brings the registry back. On the way: a read-only shortcut is deleted,
    and a product file held open by another program is scheduled and goes at the next start."""
    before = m.state_snapshot("broken")
    check_real_registrations(m, before)
    m.resume_for_removal("broken")
    shortcuts = glob.glob(m.drive_c("users", "*", "Desktop", "*.lnk"))
    check(shortcuts, "the machine has no desktop shortcut")
    for shortcut in shortcuts:
        os.chmod(shortcut, 0o444)  # Wine shows a file without write permission as read-only
    held = "C:\\ProgramData\\ZEKT\\Velkor\\VelkorData.dat"
    holder = os.path.join(m.build, "standin", "bin", "StandinExec.exe")
    started = m.standin_exec("start", "--ready", "QuellorE2eHold", "--", windows_path(holder), "hold", held,
                             "QuellorE2eHold")
    check(started.startswith("started"), f"the file holder did not start: {started}")

    run = m.run_quellor([], ANSWER_YES)
    check(run.exit_code == 0, f"exit code {run.exit_code}")
    run.expect("VitraCareプロセスを停止しました。")
    backups = glob.glob(m.drive_c(WORK, "backup_*.reg"))
    check(len(backups) == 1, f"expected one backup, found {backups}")
    backup_name = "C:\\" + WORK + "\\" + os.path.basename(backups[0])
    run.expect("削除するレジストリのバックアップを作成しました。\n" + backup_name + "\n", "強制削除が完了しました。\n"
               "使用中のため削除できなかったファイルは、PCの再起動後に削除されます。\n")
    check(run.console.index(backup_name) < run.console.index("VitraCareプロセスを停止します。"),
          "the backup was not made before the first change")
    question = run.log.index("レジストリ削除、ファイル削除を開始してもよろしいですか？")
    check(0 <= run.log.find("\\Classes\\Interface\\{4A4724EA-E7FE-68e6-7AC9-BF18DEC0FC20}\\") < question,
          "the Interface key was not listed before the question")
    content = open(backups[0], "rb").read()
    check(content.startswith("\ufeffWindows Registry Editor Version 5.00\r\n\r\n".encode("utf-16-le")),
          "the backup lacks the byte-order mark or regedit's header")
    check(b"\n\x00" not in content.replace("\r\n".encode("utf-16-le"), b""), "the backup has a line end other than CR LF")
    for shortcut in shortcuts:
        check(not os.path.exists(shortcut), f"the read-only shortcut {shortcut} was not deleted")
    scheduled = run.log_section("[再起動後に削除されるファイルとフォルダ]")
    check(held in scheduled and "C:\\ProgramData\\ZEKT\\Velkor" in scheduled,
          f"the held file and its folder are not listed as scheduled: {scheduled}")
    check("[削除できなかったファイルとフォルダ]" not in run.log, "a deletion failed")

    view = ["/reg:64"] if m.arch == "win64" else []
    imported = subprocess.run(["timeout", "-k", "5", "120", "wine", "C:\\windows\\system32\\reg.exe", "import",
                               windows_path(backups[0]), *view], env=m.env, stdin=subprocess.DEVNULL,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    check(imported.returncode == 0, f"reg import failed ({imported.returncode})")
    after = m.snapshot("after-import")
    # The servers remove their ProgID, TypeLib and Interface keys themselves; the backup holds them.
    lost = difflib.unified_diff(server_named_keys(before), server_named_keys(after), "before", "after imported",
                                lineterm="", n=0)
    lost = [line for line in lost if line[:1] in "+-" and line[:3] not in ("---", "+++")]
    check(not lost, "the backup did not restore the servers' ProgID, TypeLib and Interface keys:\n" + "\n".join(lost))
    # The scheduled deletion is the only registry trace the run may leave; the service's run state
    # is not kept in the registry.
    left = [line for line in registry_lines(diff(before, after))
            if not re.search(r"\\Control\\Session Manager \| PendingFileRenameOperations", line)]
    check(not left, "the backup did not restore the registry:\n" + "\n".join(left))

    check(os.path.exists(m.drive_c("ProgramData", "ZEKT", "Velkor", "VelkorData.dat")), "the held file went early")
    subprocess.run(["timeout", "-k", "5", "180", "wine", "wineboot", "-r"], env=m.env, stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    m.stop()
    check(not os.path.exists(m.drive_c("ProgramData", "ZEKT", "Velkor")), "the scheduled folder survived the restart")


def leftover_ends_with_failure(m, args):
    """A product file that Win32 cannot address (named like the NUL device, refused with error 87 in
    Wine as on Windows) stays: the log lists it, the console counts it, and the run ends with -1."""
    m.prepare("broken")
    open(os.path.join(program_folder(m), "nul"), "w").close()
    run = m.run_quellor([], ANSWER_YES)
    check(run.exit_code == 255, f"exit code {run.exit_code}")
    run.expect("削除できなかった項目が1件残っています。詳細は情報ログを確認してください。\n")
    check(run.console.endswith("削除できなかった項目が1件残っています。詳細は情報ログを確認してください。\nEnterで終了\n"),
          "the run did not end at the count of what remains")
    run.expect_absent("強制削除が完了しました。")
    folder = ("C:\\Program Files (x86)" if m.arch == "win64" else "C:\\Program Files") + "\\ZEKT\\Velkor"
    check(run.log_section("[削除後も残っている項目]") == [folder], "the remaining folder is not listed")
    failures = run.log_section("[削除できなかったファイルとフォルダ]")
    check(folder + "\\nul" in failures and any(line.startswith(" - エラー 87") for line in failures),
          f"the refused file is not listed with its error: {failures}")
    check(not os.path.exists(os.path.join(program_folder(m), "Novex.exe")), "the rest of the folder was not deleted")
    m.stop()


def key_written_again(m, args):
    """A process the removal does not stop writes the product's settings key once the removal has
    begun, where the collection found none: the end check, searching once more, finds and lists it, and
    the run ends with -1."""
    m.prepare("broken")
    common = "Software\\ZEKT\\Velkor\\Common"
    check(m.wine_status("reg", "delete", "HKLM\\" + common, "/f", "/reg:32") == 0, "could not delete the settings key")
    m.put_in_work_folder(os.path.join(m.build, "tests", "e2e", "quellor_key_rewriter.exe"), "rewriter.exe")
    uninstall = f"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{PRODUCT_CODE}"
    started = m.standin_exec("start", "--", f"C:\\{WORK}\\rewriter.exe", uninstall, common, str(scaled(300)))
    check(started.startswith("started"), f"the rewriter did not start: {started}")
    run = m.run_quellor([], ANSWER_YES)
    m.stop()
    check(run.exit_code == 255, f"exit code {run.exit_code}, expected 255")
    run.expect_absent("強制削除が完了しました。")
    view = "Wow6432Node\\" if m.arch == "win64" else ""
    key = f"HKEY_LOCAL_MACHINE\\Software\\{view}ZEKT\\Velkor\\Common\\"
    check(key in run.log_section("[削除後も残っている項目]"), f"{key} is not listed as left")


def service_outlived_server(m, args):
    """The service is still registered after its server's registration has gone (an earlier removal cut
    off between the two, an uninstall that got that far): by its name and its program's folder it is
    still the product's, and the run deletes it. No search found it before, the end check neither, and
    the run ended with 完了."""
    pristine = m.state_snapshot("not-installed")
    m.prepare("broken")
    view = "/reg:32"  # the product's own view; Wine's reg.exe takes the 64-bit one otherwise
    clsid_key = f"HKLM\\Software\\Classes\\CLSID\\{LOCAL_SERVERS['Terrion']}"
    app_id = re.search(r"AppID\s+REG_SZ\s+(\{[^}]+\})", m.wine("reg", "query", clsid_key, "/v", "AppID", view))
    check(app_id, "Terrion's CLSID names no AppID")
    # What the server's own unregistration removes, as a real server's does: its class, ProgIDs, type
    # library, and its AppID.
    server = windows_path_of(m, os.path.join(program_folder(m), "TerrionService.exe"))
    check(m.wine_status(server, "/UnregServer") == 0, "Terrion's unregistration failed")
    check(m.wine_status("reg", "delete", f"HKLM\\Software\\Classes\\AppID\\{app_id.group(1)}", "/f", view) == 0,
          "could not delete Terrion's AppID")
    run = m.run_quellor([], ANSWER_YES)
    m.stop()
    check(run.exit_code == 0, f"exit code {run.exit_code}, expected 0")
    run.expect("Terrionサービスの登録を解除しました。", "強制削除が完了しました。")
    after = m.snapshot("after")
    check(not any("Terrion KLQ Service" in line for line in open(after, encoding="utf-8")), "the service is still registered")
    left = unexplained(diff(pristine, after))
    check(not left, "traces left that nothing explains:\n" + "\n".join(left))


def no_backup_no_change(m, args):
    """When the backup cannot be created (its name is taken by a folder), nothing changes."""
    before = m.state_snapshot("broken")
    m.prepare("broken", "--resume")
    now = datetime.datetime.now()
    for second in range(-5, 600):  # every name the run's backup can take
        stamp = (now + datetime.timedelta(seconds=second)).strftime("%Y%m%d%H%M%S")
        os.makedirs(m.drive_c(WORK, f"backup_{stamp}.reg"), exist_ok=True)
    run = m.run_quellor([], ANSWER_YES)
    after = m.snapshot("after-no-backup")
    check(run.exit_code == 255, f"exit code {run.exit_code}")
    run.expect("削除開始\n\nレジストリのバックアップを作成できなかったため、何も変更せずに強制削除を中断します。\n")
    run.expect_absent("を停止します。", "レジストリを削除します。")
    changed = only_work_folder(diff(before, after))
    check(not changed, "the machine changed:\n" + "\n".join(changed))


def same_name_elsewhere(m, args):
    """A program with Ferrow's file name in another folder is not the product's: it survives the run."""
    m.prepare("broken")
    os.makedirs(m.drive_c("other"), exist_ok=True)
    shutil.copyfile(os.path.join(m.build, "standin", "bin", "Ferrow_klq_1_0_0.exe"),
                    m.drive_c("other", "Ferrow_klq_1_0_0.exe"))
    other = "C:\\other\\Ferrow_klq_1_0_0.exe"
    started = m.standin_exec("start", "--", other)
    check(started.startswith("started"), f"the other program did not start: {started}")

    def others():
        return [(pid, cmdline) for pid, cmdline in m.prefix_processes() if other.lower() in cmdline.lower()]

    check(others(), "the other program is not running before the run")
    run = m.run_quellor([], ANSWER_YES)
    survivors = others()
    own = [p for p in m.product_processes() if "ferrow" in p.lower() and other.lower() not in p.lower()]
    for pid, _ in survivors:
        os.kill(pid, 9)
    m.stop()
    check(survivors, "the program with Ferrow's name in another folder was stopped")
    check(os.path.isfile(m.drive_c("other", "Ferrow_klq_1_0_0.exe")), "the other program's file was deleted")
    check(not own, f"the product's Ferrow still runs: {own}")
    check(run.exit_code == 0, f"exit code {run.exit_code}, expected 0")
    run.expect("Ferrowを停止しました。", "強制削除が完了しました。")
    check(not os.path.exists(program_folder(m)), "the program folder is still there")


def local_package_elsewhere(m, args):
    """A LocalPackage value that names a file outside the installer's cache folder: the file stays and
    is reported."""
    m.prepare("broken")
    os.makedirs(m.drive_c("keep"), exist_ok=True)
    content = b"not the product's cached package\n"
    with open(m.drive_c("keep", "other.msi"), "wb") as f:
        f.write(content)
    kept = "C:\\keep\\other.msi"
    key = ("HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\S-1-5-18\\Products\\"
           + PACKED_PRODUCT + "\\InstallProperties")
    view = ["/reg:64"] if m.arch == "win64" else []
    check(m.wine_status("reg", "add", key, "/v", "LocalPackage", "/t", "REG_SZ", "/d", kept, "/f", *view) == 0,
          "could not change the product's LocalPackage value")
    run = m.run_quellor([], ANSWER_YES)
    m.stop()
    check(os.path.isfile(m.drive_c("keep", "other.msi")), f"{kept} was deleted")
    check(open(m.drive_c("keep", "other.msi"), "rb").read() == content, f"{kept} changed")
    check(run.exit_code == 0, f"exit code {run.exit_code}, expected 0")
    run.expect("インストーラーのキャッシュフォルダ以外にあるインストーラーファイルは削除しません（一覧はログに出力しました）。",
               "強制削除が完了しました。")
    listed = run.log_section("[インストーラーのキャッシュフォルダ以外にあるため削除しないファイル]")
    check(any(kept in line for line in listed), f"{kept} is not listed: {listed}")
CORVANE_TRACES = re.compile(r"C0A7E3B[0F]-5D21|[0F]B3E7A0C12D5E8C4", re.IGNORECASE)
# A component of the other product that the target never registered, planted in the program folder.
PLANTED_COMPONENT = "{7B1E4C2D-9A36-4F58-B0C7-D1E2F3A4B5C6}"
PACKED_PLANTED_COMPONENT = "D2C4E1B763A985F40B7C1D2E3F4A5B6C"
KEPT_FOR_OTHERS = "[他の製品のコンポーネントのために削除せずに残したファイル]"
TAKEN_UP = "[前回の強制削除から引き継いで削除する項目]"
REFUSED = "[前回の強制削除の記録にあったが削除しない項目]"


def packed_code(code):
    """The installer's packed form of a braced code."""
    return (code[1:9][::-1] + code[10:14][::-1] + code[15:19][::-1] +
            "".join(pair[::-1] for pair in re.findall("..", code[20:24] + code[25:37])))


def program_files_windows(m):
    return "C:\\Program Files (x86)" if m.arch == "win64" else "C:\\Program Files"


def user_data_components(m):
    return "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\S-1-5-18\\Components\\"


def plant_other_component(m, corvane_code):
    """Registers a component of the other product whose key file lies in the product's folder, in a
    subfolder with a second file beside it; the target never names either."""
    folder = os.path.join(program_folder(m), "Extra")
    os.makedirs(folder, exist_ok=True)
    for name in ("CorvaneExtra.dat", "CorvaneExtraHelp.txt"):
        open(os.path.join(folder, name), "w").close()
    packed = packed_code(corvane_code)
    key = user_data_components(m) + PACKED_PLANTED_COMPONENT
    data = program_files_windows(m) + "\\ZEKT\\Velkor\\Extra\\CorvaneExtra.dat"
    view = ["/reg:64"] if m.arch == "win64" else []
    check(m.wine_status("reg", "add", key, "/v", packed, "/t", "REG_SZ", "/d", data, "/f", *view) == 0,
          "could not plant the other product's component")
    return [os.path.join(folder, "CorvaneExtra.dat"), os.path.join(folder, "CorvaneExtraHelp.txt")]


def run_twice(m, args):
    """Two runs on a machine where another product shares a component and has a component of its own in
    the program folder: both end with 0, the other product's files and registrations stay as they were,
    and its ordinary uninstall then leaves nothing of it."""
    corvane = CORVANE_CODES["before"]
    pristine = m.state_snapshot("not-installed")
    m.prepare("shared-component", "--corvane", "before", stop=True)
    planted = plant_other_component(m, corvane)
    before = m.snapshot("before")
    m.prepare("shared-component", "--resume")
    shared = os.path.join(program_folder(m), "VelkorShared.dat")
    for attempt in ("first", "second"):
        run = m.run_quellor([], ANSWER_YES)
        check(run.exit_code == 0, f"{attempt} run: exit code {run.exit_code}")
        run.expect("強制削除が完了しました。")
        for path in planted + [shared]:
            check(os.path.isfile(path), f"{attempt} run deleted {path}")
        kept = run.log_section(KEPT_FOR_OTHERS)
        extra = program_files_windows(m) + "\\ZEKT\\Velkor\\Extra\\"
        for name in ("CorvaneExtra.dat", "CorvaneExtraHelp.txt"):
            at = next((i for i, line in enumerate(kept) if line == extra + name), None)
            check(at is not None and kept[at + 1] == " - 使用している製品: " + corvane,
                  f"{attempt} run does not report {name} kept for the other product:\n" + "\n".join(kept))
        if attempt == "second":
            check(any(line.endswith("\\VelkorShared.dat") for line in kept), "second run does not report the shared file")
            check(sorted(os.listdir(program_folder(m))) == ["Extra", "VelkorShared.dat"],
                  f"product files left: {os.listdir(program_folder(m))}")
    after = m.snapshot("after")
    touched = [line for line in diff(before, after) if CORVANE_TRACES.search(line) or PACKED_PLANTED_COMPONENT in line]
    check(not touched, "the other product's registrations changed:\n" + "\n".join(touched))

    m.uninstall_other(corvane, "the other product")
    left = unexplained(diff(pristine, m.snapshot("uninstalled")), extra=[
        r"^\+ D C:\\Program Files( \(x86\))?\\ZEKT\\Velkor(\\Extra)?$",
        r"^\+ F C:\\Program Files( \(x86\))?\\ZEKT\\Velkor\\Extra\\CorvaneExtra(Help)?\.(dat|txt)( |$)",
        r"^\+ [KV] HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\S-1-5-18"
        r"(\\Components(\\" + PACKED_PLANTED_COMPONENT + r")?)?( |$)"])
    check(not left, "the other product left traces:\n" + "\n".join(left))


JOURNALS = ("ProgramData", "Quellor")  # the per-machine folder that only Administrators and SYSTEM may change
IGNORED_JOURNALS = "[使用しなかった強制削除の記録]"


def journals(m):
    return sorted(glob.glob(m.drive_c(*JOURNALS, "removal_*.txt")))


def interrupted(m, args):
    """A removal ended at three points that no real timing reaches; the next run finishes it: exit 0,
    no trace of the product, nothing else changed."""
    pristine = m.state_snapshot("not-installed")
    before = m.state_snapshot("broken")
    for point in ("journal-written", "server-unregistered", "registry-deleted"):
        m.prepare("broken")
        run = m.run_quellor([], ANSWER_YES, extra_env={"QUELLOR_TEST_STOP_AT": point},
                            exe=("tests", "e2e", "quellor_stop_at.exe"))
        check(run.exit_code == 3, f"{point}: the stopped run ended with {run.exit_code}")
        found = journals(m)
        check(len(found) == 1, f"{point}: expected one journal, found {found}")
        text = open(found[0], "rb").read().decode("utf-8")
        check(re.match(r"QuellorRemovalJournal\t2\r\nproduct\t" + re.escape(PRODUCT_CODE) + r"\r\ncomputer\t[^\r\n]+\r\n",
                       text), f"{point}: journal header")
        check(not text.endswith("finished\r\n"), f"{point}: the stopped run marked its journal finished")
        time.sleep(1)  # the next run's log and journal take another second's name
        run = m.run_quellor([], ANSWER_YES)
        check(run.exit_code == 0, f"{point}: the next run ended with {run.exit_code}")
        run.expect("前回の強制削除が完了していなかった記録を確認しました。", "強制削除が完了しました。")
        if point == "server-unregistered":
            taken = run.log_section(TAKEN_UP)
            check(any("\\Classes\\AppID\\" in line for line in taken),
                  "the AppID key the next run cannot find is not taken up:\n" + "\n".join(taken))
            check(run.console.index(TAKEN_UP) < run.console.index("レジストリ削除、ファイル削除を開始してもよろしいですか？"),
                  "the taken-up targets are not shown before the question")
        for path in journals(m):
            check(open(path, "rb").read().endswith(b"finished\r\n"), f"{point}: {path} is not marked finished")
        after = m.snapshot("after-" + point)
        left = unexplained(diff(pristine, after))
        check(not left, f"{point}: traces left that nothing explains:\n" + "\n".join(left))
        outside = only_work_folder(diff(before, after, "--outside-product"))
        check(not outside, f"{point}: changed outside the product:\n" + "\n".join(outside))


def shared_component_key():
    return ("HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\S-1-5-18\\"
            "Components\\" + packed_code(SHARED_COMPONENT) + "\\")


def edited_journal(m, args):
    """An unfinished journal edited to name what is not the product's (another product's file, program
    folder, cached package, registration and shared installer key, a protected folder, a user's documents,
    a foreign AppID), a copy of it from another computer, a damaged one and one in the operator's folder:
    none of them is touched, each is reported."""
    corvane = CORVANE_CODES["before"]
    m.prepare("shared-component", "--corvane", "before", stop=True)
    # Another product's cached package, a user's documents and a COM server of another product.
    package = m.drive_c("windows", "Installer", "quellor-other.msi")
    shutil.copy(os.path.join(m.build, "standin", "msi", "Corvane-before.msi"), package)
    user = [u for u in os.listdir(m.drive_c("users")) if u not in ("Public", "Default")][0]
    finance = m.drive_c("users", user, "Documents", "Finance")
    os.makedirs(finance, exist_ok=True)
    open(os.path.join(finance, "accounts.txt"), "w").write("not the product's\n")
    foreign_app = "{0A1B2C3D-4E5F-4061-8293-A4B5C6D7E8F9}"
    for key, name, data in ((f"HKLM\\Software\\Classes\\CLSID\\{{1F2E3D4C-5B6A-4978-8695-A4B3C2D1E0F9}}", "AppID", foreign_app),
                            (f"HKLM\\Software\\Classes\\AppID\\{foreign_app}", "", "Other"),
                            ("HKLM\\Software\\ZEKT\\Velkor\\OtherComputer", "", "kept")):
        m.wine_quiet("reg", "add", key, *(["/v", name] if name else ["/ve"]), "/d", data, "/f")
    m.stop()
    before = m.snapshot("before")
    m.prepare("shared-component", "--resume")
    run = m.run_quellor([], ANSWER_YES, extra_env={"QUELLOR_TEST_STOP_AT": "journal-written"},
                        exe=("tests", "e2e", "quellor_stop_at.exe"))
    check(run.exit_code == 3, f"the stopped run ended with {run.exit_code}")
    journal = journals(m)[0]
    lines = open(journal, "rb").read().decode("utf-8").split("\r\n")[:-1]
    other_file = program_files_windows(m) + "\\Corvane\\CorvaneTool.dat"
    other_folder = program_files_windows(m) + "\\Corvane"
    packed_corvane = packed_code(corvane)
    other_key = f"HKEY_LOCAL_MACHINE\\Software\\Classes\\Installer\\Products\\{packed_corvane}\\"
    foreign_app_key = f"HKEY_LOCAL_MACHINE\\Software\\Classes\\AppID\\{foreign_app}\\"
    documents = windows_path_of(m, finance)
    cached = "C:\\windows\\Installer\\quellor-other.msi"
    view = "64" if m.arch == "win64" else "32"
    named = [other_file, other_folder, "C:\\ProgramData", other_key, shared_component_key(), foreign_app_key, documents,
             cached]
    added = [f"target\tfile\t-\t{other_file}\t", f"target\tfolder\t-\t{other_folder}\t",
             "target\tfolder\t-\tC:\\ProgramData\t", f"target\tkey\t{view}\t{other_key}\t",
             f"target\tkey\t{view}\t{shared_component_key()}\t", f"target\tkey\t{view}\t{foreign_app_key}\t",
             f"target\tfolder\t-\t{documents}\t", f"target\tfile\t-\t{cached}\t"]
    count = int(lines[-1].split("\t")[1])
    open(journal, "wb").write(("\r\n".join(lines[:-1] + added + [f"end\t{count + len(added)}"]) + "\r\n").encode("utf-8"))
    # The same journal as written on another computer, naming one more key of the product's: never used.
    elsewhere = journal[:-4] + "_elsewhere.txt"
    shutil.copy2(journal, elsewhere)
    text = open(elsewhere, "rb").read().decode("utf-8")
    text = re.sub(r"\r\ncomputer\t[^\r\n]*\r\n", "\r\ncomputer\tOTHER-PC\r\n", text)
    other_pc_key = "HKEY_LOCAL_MACHINE\\Software\\ZEKT\\Velkor\\OtherComputer\\"
    text = text.replace("\r\nend\t", f"\r\ntarget\tkey\t{view}\t{other_pc_key}\t\r\nend\t")
    count = int(re.search(r"\r\nend\t(\d+)\r\n", text).group(1))
    text = re.sub(r"\r\nend\t\d+\r\n", f"\r\nend\t{count + 1}\r\n", text)
    open(elsewhere, "wb").write(text.encode("utf-8"))
    # A journal in the operator's folder, where the removal once kept them and anyone may put one.
    planted = m.drive_c(WORK, "removal_20000101000000.txt")
    open(planted, "wb").write(b"QuellorRemovalJournal\t2\r\nproduct\t" + PRODUCT_CODE.encode() + b"\r\ncomputer\tX\r\n"
                              b"target\tfolder\t-\tC:\\ProgramData\r\nend\t1\r\n")
    check(os.path.isdir(m.drive_c("ProgramData")) and os.path.isfile(m.drive_c(program_files_windows(m)[3:], "Corvane",
          "CorvaneTool.dat")), "the machine lacks the other product's file")
    time.sleep(1)
    run = m.run_quellor([], ANSWER_YES)
    check(run.exit_code == 0, f"exit code {run.exit_code}")
    refused = "\n".join(run.log_section(REFUSED))
    for item in named:
        check(item in refused, f"{item} is not reported as refused:\n" + refused)
        check(run.console.count(item) >= 1, f"{item} is not shown on the console")
    ignored = "\n".join(run.log_section(IGNORED_JOURNALS))
    check(windows_path_of(m, elsewhere) + "\r\n - 別のコンピューター（OTHER-PC）の記録のため使用しません。" in ignored
          or windows_path_of(m, elsewhere) + "\n - 別のコンピューター（OTHER-PC）の記録のため使用しません。" in ignored,
          "the other computer's journal is not reported:\n" + ignored)
    check("C:\\" + WORK + "\\removal_20000101000000.txt" in ignored, "the journal in the operator's folder is not reported")
    after = m.snapshot("after")
    for path in (m.drive_c(program_files_windows(m)[3:], "Corvane", "CorvaneTool.dat"), package,
                 os.path.join(finance, "accounts.txt")):
        check(os.path.isfile(path), f"{path} was deleted")
    check(os.path.isdir(m.drive_c("ProgramData")), "the protected folder was deleted")
    changed = diff(before, after)
    check(not [line for line in changed if "OtherComputer" in line], "the other computer's journal was used")
    check(not [line for line in changed if foreign_app.lower() in line.lower()], "the foreign AppID or its CLSID changed")
    touched = [line for line in changed if CORVANE_TRACES.search(line)]
    check(not touched, "the other product's registrations changed:\n" + "\n".join(touched))
    check(os.path.isfile(planted), "the planted journal was removed")
    shutil.rmtree(finance, ignore_errors=True)  # the user's documents lie outside the prefix (Wine links them)


def windows_path_of(m, host_path):
    """C:\\... for a path inside the prefix's drive_c."""
    return "C:\\" + os.path.relpath(host_path, m.drive_c()).replace("/", "\\")


def undeletable_scheduler_ends_with_failure(m, args):
    """A Scheduler folder that cannot be deleted (its security forbids it: a test build refuses every
    deletion below it, as Windows would) ends the run with -1 and is listed as left, its files and
    itself among what could not be deleted, and nothing of it is scheduled for the next start."""
    m.prepare("broken")
    scheduler = m.roaming("ZEKT", "Velkor", "Common", "Ferrow", USER_ID, "Scheduler")
    check(os.path.isdir(scheduler), "the stand-in has no Scheduler folder")
    with open(os.path.join(scheduler, "job.dat"), "w") as f:
        f.write("scheduled job\n")
    with m.windows_key_path_answers() as windows:
        run = m.run_quellor([], ANSWER_YES, windows, exe=("tests", "e2e", "quellor_denied_scheduler.exe"))
    check(run.exit_code == 255, f"exit code {run.exit_code}, expected 255 (-1)")
    check(os.path.exists(os.path.join(scheduler, "job.dat")), "the refused Scheduler folder was deleted")
    user_folder = "\\AppData\\Roaming\\ZEKT\\Velkor\\Common\\Ferrow\\" + USER_ID + "\\Scheduler"
    remaining = run.log_section("[削除後も残っている項目]")
    # The plan keeps duplicates: a folder the collection found twice is listed twice.
    check(remaining and all(line.endswith(user_folder + "\\") for line in remaining),
          f"the Scheduler folder is not what is listed as left: {remaining}")
    run.expect(f"削除できなかった項目が{len(remaining)}件残っています。詳細は情報ログを確認してください。\n")
    run.expect_absent("強制削除が完了しました。")
    failures = run.log_section("[削除できなかったファイルとフォルダ]")
    for path in (user_folder + "\\job.dat", user_folder):
        at = [n for n, line in enumerate(failures) if line.endswith(path)]
        check(at and at[0] + 1 < len(failures) and re.match(r" - エラー 5(\D|$)", failures[at[0] + 1]),
              f"{path} is not listed with error 5: {failures}")
    heading = "[再起動後に削除されるファイルとフォルダ]"
    scheduled = run.log_section(heading) if heading in run.log else []
    check(not any("Scheduler" in line for line in scheduled), f"the refused folder was scheduled: {scheduled}")
    m.stop()


# ---- a second user of the machine ----

OTHER_SID = "S-1-5-21-0-0-0-1001"
PACKED_UPGRADE = "D3BDADF132C15117AC28250D473A7306"  # {1FDADB3D-1C23-7115-CA82-52D074A33760}
PACKED_ORBIS = "0A1B2C3D4E5F60718293A4B5C6D7E8F9"  # a product that is not the target
PROFILE_LIST = "HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\"
MANAGED = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Installer\\Managed\\" + OTHER_SID + "\\Installer\\"
USER_INSTALLER_KEYS = [f"Software\\Microsoft\\Installer\\Products\\{PACKED_PRODUCT}",
                       f"Software\\Microsoft\\Installer\\Features\\{PACKED_PRODUCT}",
                       f"Software\\Microsoft\\Installer\\UpgradeCodes\\{PACKED_UPGRADE}"]
OTHER_PRODUCT_KEYS = [f"Software\\Microsoft\\Installer\\Products\\{PACKED_ORBIS}", "Software\\Orbis\\Keep"]
PRODUCT_FILES = ["Desktop\\Mirevo.lnk", "AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\ZEKT\\Mirevo\\Mirevo.lnk",
                 "AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\StartUp\\Mirevo.lnk",
                 f"AppData\\Roaming\\Microsoft\\Installer\\{PRODUCT_CODE}\\mirevo.ico"]
OTHER_FILES = ["Desktop\\Orbis.lnk", "AppData\\Roaming\\Orbis\\keep.txt",
               "AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Orbis\\Orbis.lnk"]


def wine_hive(keys):
    """A hive file in Wine's text format (the only one Wine loads): {key: {name: value line}}."""
    lines = ["WINE REGISTRY Version 2", ""]
    for key, values in keys.items():
        lines.append("[" + key.replace("\\", "\\\\") + "] 0")
        lines += [("@" if name == "" else f'"{name}"') + "=" + value for name, value in values.items()]
        lines.append("")
    return "\r\n".join(lines) + "\r\n"


def quoted(text):
    return '"' + text.replace("\\", "\\\\") + '"'


def plant_second_user(m, hive_text=None):
    """User hana, never logged on: plain profile folders, a profile-list entry and a hive whose shell
    folders point into that profile (Programs and Startup only in User Shell Folders, through %APPDATA%
    and %USERPROFILE%, which must name hana's folders, not the caller's)."""
    home = m.drive_c("users", "hana")
    profile = "C:\\users\\hana"
    for relative in PRODUCT_FILES + OTHER_FILES:
        path = os.path.join(home, *relative.split("\\"))
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "w") as f:
            f.write("hana\n")
    explorer = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\"
    keys = {explorer + "Shell Folders": {"AppData": quoted(profile + "\\AppData\\Roaming"),
                                         "Desktop": quoted(profile + "\\Desktop")},
            explorer + "User Shell Folders": {
                "Programs": "str(2):" + quoted("%APPDATA%\\Microsoft\\Windows\\Start Menu\\Programs"),
                "Startup": "str(2):" + quoted("%USERPROFILE%\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\StartUp")}}
    keys.update({key: {"ProductName": quoted("Mirevo")} for key in USER_INSTALLER_KEYS[:2]})
    keys[USER_INSTALLER_KEYS[2]] = {PACKED_PRODUCT: quoted("")}
    keys.update({key: {"Data": quoted("stay")} for key in OTHER_PRODUCT_KEYS})
    with open(os.path.join(home, "NTUSER.DAT"), "w", newline="") as f:
        f.write(hive_text if hive_text is not None else wine_hive(keys))
    classes = os.path.join(home, "AppData", "Local", "Microsoft", "Windows")
    os.makedirs(classes, exist_ok=True)
    with open(os.path.join(classes, "UsrClass.dat"), "w", newline="") as f:
        f.write(wine_hive({"Orbis.Document": {"": quoted("Orbis document")}}))
    # A profile repair leaves "<sid>.bak" beside the user's entry, naming the same folder: no user of its own.
    for entry in (OTHER_SID, OTHER_SID + ".bak"):
        check(m.wine_status("reg", "add", PROFILE_LIST + entry, "/v", "ProfileImagePath", "/t", "REG_EXPAND_SZ",
                            "/d", "%SystemDrive%\\users\\hana", "/f") == 0, "the profile-list entry was not added")
    view = ["/reg:64"] if m.arch == "win64" else []
    for kind, packed in (("Products", PACKED_PRODUCT), ("UpgradeCodes", PACKED_UPGRADE)):
        value = ["/v", PACKED_PRODUCT] if kind == "UpgradeCodes" else ["/v", "ProductName", "/d", "Mirevo"]
        check(m.wine_status("reg", "add", MANAGED + kind + "\\" + packed, *value, "/f", *view) == 0,
              "the managed registration was not added")
    return home


def hivetool(m, *args):
    out = m.wine(os.path.join(m.build, "tests", "e2e", "quellor_hivetool.exe"), *args)
    return out.strip()


def loaded_hives(m):
    out = m.wine("reg", "query", "HKU")
    return sorted(line.strip() for line in out.splitlines() if line.strip().upper().startswith("HKEY_USERS\\"))


def key_exists(m, key):
    view = ["/reg:64"] if m.arch == "win64" else []
    return m.wine_status("reg", "query", key, *view) == 0


def import_reg(m, path):
    view = ["/reg:64"] if m.arch == "win64" else []
    return m.wine_status("C:\\windows\\system32\\reg.exe", "import", windows_path(path), *view)


def check_user_files(home, product_gone):
    for relative in PRODUCT_FILES:
        there = os.path.exists(os.path.join(home, *relative.split("\\")))
        check(there != product_gone, f"hana's {relative} {'is still there' if there else 'went'}")
    for relative in OTHER_FILES:
        check(os.path.exists(os.path.join(home, *relative.split("\\"))), f"the other product's {relative} went")


def check_user_keys(m, root, product_gone):
    for key in USER_INSTALLER_KEYS:
        check(key_exists(m, root + "\\" + key) != product_gone, f"{root}\\{key}: wrong state")
    for key in OTHER_PRODUCT_KEYS:
        check(key_exists(m, root + "\\" + key), f"the other product's {root}\\{key} went")


def other_user(m, args):
    """A second user of the machine: not logged on (the tool loads, searches, cleans and unloads the hive,
    which this build writes back as Windows does; the user's backup restores by the README's steps, and a
    managed registration goes and comes back), logged on (the hive is loaded before the run), or with a
    damaged hive (reported, -1, nothing of that user changes). The profile list also holds hana's ".bak"
    entry, which is logged and never loaded: hana is searched once."""
    m.prepare("broken")
    hive = args.hive
    home = plant_second_user(m, "\x00garbage\x01\r\n" if hive == "damaged" else None)
    hive_file = os.path.join(home, "NTUSER.DAT")
    hive_path = "C:\\users\\hana\\NTUSER.DAT"
    if hive == "logged-on":
        check(hivetool(m, "load", OTHER_SID, hive_path) == "result 0", "the helper did not load the hive")
    original = open(hive_file, "rb").read()
    hives_before = loaded_hives(m)
    exe = ("tests", "e2e", "quellor_hive_writeback.exe") if hive != "logged-on" else ("app", "quellor.exe")
    run = m.run_quellor([], ANSWER_YES, exe=exe)
    check(loaded_hives(m) == hives_before, f"HKEY_USERS changed: {hives_before} -> {loaded_hives(m)}")
    user = f"ユーザー {OTHER_SID}（C:\\users\\hana）"
    backups = glob.glob(m.drive_c(WORK, "backup_*.reg"))
    main_backup = [b for b in backups if OTHER_SID not in os.path.basename(b)]
    user_backup = [b for b in backups if OTHER_SID in os.path.basename(b)]
    check(len(main_backup) == 1, f"expected one main backup, found {backups}")

    if hive == "damaged":
        check(run.exit_code == 255, f"exit code {run.exit_code}, expected -1")
        run.expect(user + "のレジストリを読み込めなかったため、このユーザーは検索できません。",
                   "以下のユーザーは検索できなかったため、強制削除を完了できませんでした。\n" + user,
                   " - エラー 1017")
        run.expect_absent("強制削除が完了しました。")
        check(open(hive_file, "rb").read() == original, "the damaged hive file changed")
        check_user_files(home, product_gone=False)
        check(not user_backup, f"a user backup was written: {user_backup}")
        return

    check(run.exit_code == 0, f"exit code {run.exit_code}, expected 0")
    run.expect("強制削除が完了しました。")
    state = "状態: ログオン中" if hive == "logged-on" else "状態: ツールが読み込んだレジストリ"
    found = run.log_section(f"[{user}で見つかった項目]")
    deleted = run.log_section(f"[{user}で削除した項目]")
    print("\n".join(["found for hana:"] + found + ["deleted for hana:"] + deleted))
    check(state in found and state in deleted, f"the log does not say how hana was searched: {found}")
    run.expect_in_log(f"ユーザー {OTHER_SID}.bak（C:\\users\\hana）\n - プロファイルのバックアップのため、読み込みません。")
    check(run.log.count(f"[{user}で見つかった項目]") == 1 and f"HKEY_USERS\\{OTHER_SID}.bak" not in run.log,
          "hana's .bak entry was taken for a user of its own")
    for key in USER_INSTALLER_KEYS:
        check(f"HKEY_USERS\\{OTHER_SID}\\{key}\\" in deleted, f"the log does not list {key} as deleted for hana")
    check(any(line.endswith("\\Desktop\\Mirevo.lnk") for line in deleted), "hana's desktop shortcut is not listed")
    check(any(f"Managed\\{OTHER_SID}\\Installer\\Products\\{PACKED_PRODUCT}" in line for line in deleted),
          "the managed registration is not listed for hana")
    check_user_files(home, product_gone=True)
    check(not key_exists(m, MANAGED + "Products\\" + PACKED_PRODUCT), "the managed registration is still there")
    main_text = open(main_backup[0], "rb").read().decode("utf-16")
    check(f"\\Managed\\{OTHER_SID}\\Installer\\Products\\{PACKED_PRODUCT}]" in main_text,
          "the managed registration is not in the main backup")

    if hive == "logged-on":
        check(not user_backup, f"a logged-on user got a backup of their own: {user_backup}")
        check(f"[HKEY_USERS\\{OTHER_SID}\\Software\\Microsoft\\Installer\\Products\\{PACKED_PRODUCT}]" in main_text,
              "the logged-on user's keys are not in the main backup")
        check_user_keys(m, "HKU\\" + OTHER_SID, product_gone=True)
        check(hivetool(m, "unload", OTHER_SID) == "result 0", "the helper could not unload the hive after the run")
        return

    check(f"HKEY_USERS\\{OTHER_SID}" not in main_text, "the loaded user's keys are in the main backup")
    check(len(user_backup) == 1, f"expected one backup for hana, found {backups}")
    run.expect("C:\\" + WORK + "\\" + os.path.basename(user_backup[0]) + "\n")
    # The hive file still loads, and holds the deletions (written back by this build before the unload).
    check(hivetool(m, "load", "QuellorCheck", hive_path) == "result 0", "the hive file no longer loads")
    check_user_keys(m, "HKU\\QuellorCheck", product_gone=True)
    check(hivetool(m, "unload", "QuellorCheck") == "result 0", "the check hive did not unload")
    # The README's restore steps, hana still not logged on.
    check(hivetool(m, "load", OTHER_SID, hive_path) == "result 0", "restore: reg load failed")
    check(import_reg(m, user_backup[0]) == 0, "restore: reg import of hana's backup failed")
    check_user_keys(m, "HKU\\" + OTHER_SID, product_gone=False)
    check(hivetool(m, "unload", OTHER_SID) == "result 0", "restore: reg unload failed")
    check(import_reg(m, main_backup[0]) == 0, "reg import of the main backup failed")
    check(key_exists(m, MANAGED + "Products\\" + PACKED_PRODUCT), "the main backup did not restore the managed key")
    check(loaded_hives(m) == hives_before, "HKEY_USERS changed after the restore drill")
    # An unload that fails (a handle into the hive stays open) is reported with its error and ends with -1,
    # here at an N answer; the hive is then still loaded, and the helper unloads it.
    run = m.run_quellor([], "n\n", {"QUELLOR_TEST_HOLD_HIVE": "1"}, exe=exe)
    check(run.exit_code == 255, f"held hive: exit code {run.exit_code}")
    check(f"[{user}で削除した項目]" not in run.log, "after N the log lists hana's items as deleted")
    run.expect(f"ユーザー {OTHER_SID} のレジストリ（HKEY_USERS\\{OTHER_SID}）をアンロードできませんでした。\n - エラー 5")
    for name in (OTHER_SID + "_Classes", OTHER_SID):
        check(hivetool(m, "unload", name) == "result 0", f"the held hive {name} could not be unloaded after the run")
    check(loaded_hives(m) == hives_before, "HKEY_USERS changed after the run with a held hive")


SCENARIOS = {
    "run-twice": run_twice,
    "interrupted": interrupted,
    "edited-journal": edited_journal,
    "other-user": other_user,
    "backup-restore": backup_restores_registry,
    "leftover": leftover_ends_with_failure,
    "key-written-again": key_written_again,
    "service-outlived-server": service_outlived_server,
    "no-backup": no_backup_no_change,
    "removal": removal_of_broken_install,
    "folder-deleted": folder_deleted,
    "patched": patched,
    "shared-component": shared_component,
    "shared-path-missing": shared_path_missing,
    "noise": noise_changes_nothing,
    "phase1": phase1_outcomes,
    "diagnosing": diagnosing,
    "answer-no": answer_no,
    "no-after-failed-step": no_after_failed_step,
    "settings-file": settings_file,
    "hung-server": hung_server,
    "windows-key-paths": windows_key_paths,
    "two-versions": two_versions,
    "same-name-elsewhere": same_name_elsewhere,
    "local-package-elsewhere": local_package_elsewhere,
    "undeletable-scheduler": undeletable_scheduler_ends_with_failure,
}


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("scenario", choices=sorted(SCENARIOS))
    parser.add_argument("--build-dir", required=True)
    parser.add_argument("--arch", default="win64", choices=["win64", "win32"])
    parser.add_argument("--corvane", default="before", choices=["before", "after"])
    parser.add_argument("--hive", default="not-logged-on", choices=["not-logged-on", "logged-on", "damaged"])
    args = parser.parse_args()
    args.build_dir = os.path.abspath(args.build_dir)
    machine = Machine(args.build_dir, args.arch)
    started = time.time()
    try:
        try:
            SCENARIOS[args.scenario](machine, args)
        except PlatformFailure as failure:
            if not EMULATED:
                raise
            # Every scenario builds its states from the clean prefix: it runs once more, whole.
            print(f"platform failure under emulation, the scenario runs once more: {failure}")
            machine.stop()
            SCENARIOS[args.scenario](machine, args)
    except Failure as failure:
        print(f"FAILED {args.scenario} ({args.arch}): {failure}")
        print(f"snapshots, consoles, information logs and the builder's log kept in {machine.snapshots}")
        if machine.last_log:
            # The end of the last run's information log says what was left and why.
            lines = open(machine.last_log, encoding="utf-8", errors="replace").read().splitlines()
            print(f"the last information log ({os.path.basename(machine.last_log)}) ends:")
            print("\n".join("    " + line for line in lines[-60:]))
        return 1
    finally:
        machine.stop()
    print(f"passed {args.scenario} ({args.arch}) in {time.time() - started:.1f} s")
    shutil.rmtree(machine.snapshots, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
