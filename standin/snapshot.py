#!/usr/bin/env python3
"""Snapshots of a Wine prefix's registry and files, and the difference of two snapshots.

    snapshot.py dump PREFIX [-o FILE]     registry (both views of HKLM and HKU) and drive_c
    snapshot.py diff A B [--product-only | --outside-product]

The registry is read from the prefix's system.reg, user.reg and userdef.reg, which Wine writes
lazily: stop the wineserver (`wineserver -k`, wine_stop_server) before dumping. In a 64-bit prefix
the 32-bit view is the Wow6432Node subtree in those files, so both views come out as paths.

A snapshot is text, one entry a line, sorted:
    K <root>\\<key>                          a registry key
    V <root>\\<key> | <name> = <type>:<data> a value (@ is the default value)
    D C:\\<path>                             a folder
    F C:\\<path> | <size> <sha256 or ->      a file (hash for files up to 1 MiB)
    L C:\\<path> -> <target>                 a symbolic link (not followed)
The diff prints "+ entry" (added), "- entry" (removed) and "~ entry" (changed data), after
dropping Wine's own noise (NOISE below, each with its reason).
"""
import argparse
import hashlib
import os
import re
import sys

HASH_LIMIT = 1 << 20

# Wine's own churn, never a trace of a product. Each pattern is matched against the entry's
# path (registry: root\key; files: C:\path), case-insensitively.
NOISE = [
    # Wine's own configuration, window-driver state and font cache (rewritten at every boot).
    (r"^HK[^\\]*(\\[^\\]*)?\\Software\\Wine(\\|$)", "Wine configuration and font cache"),
    (r"^HKLM\\Software\\Wow6432Node\\Wine(\\|$)", "Wine configuration, 32-bit view"),
    # A fresh random seed is stored at every start of the crypto provider.
    (r"^HKLM\\Software\\Microsoft\\Cryptography\\RNG(\\|$)", "random seed, new each boot"),
    # Dynamic data: performance counters, device and time-zone state refreshed by wineboot.
    (r"^HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Perflib(\\|$)", "performance counters"),
    (r"^HKLM\\System\\CurrentControlSet\\Control\\TimeZoneInformation(\\|$)", "time zone, refreshed at boot"),
    (r"^HKLM\\System\\CurrentControlSet\\Enum(\\|$)", "device enumeration, refreshed at boot"),
    (r"^HKLM\\System\\CurrentControlSet\\Control\\(DeviceClasses|Class)(\\|$)", "device classes, refreshed at boot"),
    # Network adapters, listed by Wine's network service when something first asks for them (after
    # the boot, seen under emulation).
    (r"^HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion\\NetworkCards(\\|$)", "network adapters, listed on Wine's own schedule"),
    # The console host writes its per-user defaults when it first opens a console, which Wine does on
    # its own schedule (seen present in one build of a state and absent in the next).
    (r"^HKU\\[^\\]+\\Console(\\|$)", "console defaults, written by the console host"),
    # Theme defaults and window metrics, written when the first window of a user's session is themed:
    # Wine's session start opens the StartUp folder's desktop.ini in notepad, whenever it gets to it
    # (seen written during a removal run in the 32-bit prefix, under emulation).
    (r"^HKU\\[^\\]+\\Control Panel\\(Colors|Desktop)(\\|$)", "window colours and metrics, written by the theming"),
    (r"^HKU\\[^\\]+\\Software\\Microsoft\\Windows\\CurrentVersion\\ThemeManager(\\|$)", "theme defaults"),
    # Recent-use lists of the shell: change when anything is run.
    (r"\\Explorer\\(RunMRU|RecentDocs|ComDlg32)(\\|$)", "recent-use lists"),
    # Scratch folders: the installer unpacks and logs there while it runs.
    (r"^C:\\windows\\temp(\\|$)", "temporary files"),
    (r"^C:\\users\\[^\\]+\\(AppData\\Local\\)?Temp(\\|$)", "per-user temporary files"),
    (r"^C:\\windows\\logs(\\|$)", "Wine's log files"),
    # Precompiled INF caches (input.pnf, winehid.pnf), written whenever Wine's device setup gets to
    # a device, which may be long after the boot (seen under emulation).
    (r"^C:\\windows\\inf\\[^\\]+\.pnf$", "device setup's INF caches, written on Wine's own schedule"),
    # Wine's own device drivers (winehid and the like), installed as services by the same device setup
    # (seen added during a removal run in the 32-bit prefix, under emulation).
    (r"^HKLM\\System\\CurrentControlSet\\Services\\wine[^\\]*(\\|$)", "Wine's drivers, installed by its device setup"),
]
NOISE_RE = [(re.compile(p, re.IGNORECASE), why) for p, why in NOISE]

# What belongs to the stand-in product (and Corvane Tool): names, folders, codes and their
# packed forms. Used to split a diff into product traces and everything else.
PRODUCT = [
    r"ZEKT", r"Velkor", r"Mirevo", r"Corvane", r"Terrion", r"Vitra", r"Ferrow", r"Ventrel", r"Novex",
    r"\\windows\\Installer\\[0-9a-f]+\.msi$",
    # Class, AppID and interface ids of the product.
    r"0F176F16-C1BE-51d9", r"C10CE499-BEAA", r"97F7CD52-5C94", r"1BE3A785-8017", r"9D406394-BD56",
    r"66DD3643-314F", r"4A4724EA-E7FE", r"6B2A7E10-3C4D-4E5F-8A9B-0C1D2E3F4A5",
    # Type libraries of the local servers (5D3E8F21-...) and the interfaces of the proxies (5D3E8F22-...).
    # The ProgIDs (<vendor>.Ferrow.1 ...) are matched by the names above.
    r"5D3E8F2[12]-6A7B-4C8D",
    # Product codes of every version (1.0.15.0 and 1.0.16.0 share one) and of Corvane Tool.
    r"4344A992-02A4", r"35307B30-CC25", r"44C3F1E5-A415", r"13798FCF-C5C1", r"A8A29C11-24A3",
    r"491DAF3F-7C1E", r"C0A7E3B[0F]-5D21",
    # Installer registrations: packed product, upgrade and component codes.
    r"\\Installer\\(UserData\\[^\\]+\\)?(Products|Features|UpgradeCodes|Components)\\",
]
PRODUCT_RE = [re.compile(p, re.IGNORECASE) for p in PRODUCT]


# --- registry ------------------------------------------------------------------------------
def reg_root(header_line, file_name):
    """Root name from the header line ';; All keys relative to REGISTRY\\\\Machine' or ...User..."""
    m = re.search(r"relative to (.*)$", header_line)
    rel = m.group(1).replace("\\\\", "\\").strip() if m else ""
    if rel.upper().startswith("REGISTRY"):
        rel = rel[len("REGISTRY"):]
    if rel.lower() == "\\machine":
        return "HKLM"
    if rel.lower().startswith("\\user\\"):
        return "HKU\\" + rel[len("\\User\\"):]
    return "HKU\\.Default" if file_name == "userdef.reg" else "HKU\\?"


def unescape_key(text):
    return text.replace("\\\\", "\\")


def logical_lines(path):
    with open(path, encoding="utf-8", errors="replace") as f:
        pending = ""
        for raw in f:
            line = raw.rstrip("\n")
            if line.endswith("\\") and not line.startswith("["):
                pending += line[:-1].strip()
                continue
            yield pending + line.strip() if pending else line
            pending = ""


VALUE_RE = re.compile(r'^(@|"(?:[^"\\]|\\.)*")=(.*)$')


def add_key_with_parents(entries, key):
    # Wine writes a key only when it has values or no subkeys; its parents are implied.
    parts = key.split("\\")
    for n in range(2, len(parts) + 1):
        entries["K " + "\\".join(parts[:n])] = ""


def reg_entries(prefix):
    entries = {}
    for name in ("system.reg", "user.reg", "userdef.reg"):
        path = os.path.join(prefix, name)
        if not os.path.exists(path):
            continue
        root = None
        key = None
        for line in logical_lines(path):
            if line.startswith(";; All keys relative to"):
                root = reg_root(line, name)
            elif line.startswith("["):
                # "[key\\path] 1700000000": the number is the key's write time (noise).
                key = root + "\\" + unescape_key(line[1:line.rindex("]")])
                add_key_with_parents(entries, key)
            elif line.startswith("#") or key is None:
                continue  # "#time=..." (write time), "#class", "#link" markers
            else:
                m = VALUE_RE.match(line)
                if m:
                    value_name = "@" if m.group(1) == "@" else m.group(1)[1:-1].replace('\\"', '"').replace("\\\\", "\\")
                    entries["V %s | %s" % (key, value_name)] = m.group(2)
    return entries


# --- files ---------------------------------------------------------------------------------
def file_entries(prefix):
    entries = {}
    drive = os.path.join(prefix, "drive_c")
    for folder, dirs, files in os.walk(drive):
        rel_folder = os.path.relpath(folder, drive)
        for name in sorted(dirs + files):
            full = os.path.join(folder, name)
            win = "C:\\" + os.path.normpath(os.path.join(rel_folder, name)).replace("/", "\\")
            if os.path.islink(full):
                entries["L " + win] = os.readlink(full)
            elif os.path.isdir(full):
                entries["D " + win] = ""
            elif os.path.isfile(full):
                size = os.path.getsize(full)
                digest = "-"
                if size <= HASH_LIMIT:
                    with open(full, "rb") as f:
                        digest = hashlib.sha256(f.read()).hexdigest()
                entries["F " + win] = "%d %s" % (size, digest)
    return entries


# --- snapshot text -------------------------------------------------------------------------
def dump(prefix):
    entries = reg_entries(prefix)
    entries.update(file_entries(prefix))
    lines = []
    for ident in sorted(entries):
        data = entries[ident]
        if ident[0] == "V":
            lines.append("%s = %s" % (ident, data))
        elif ident[0] == "F":
            lines.append("%s | %s" % (ident, data))
        elif ident[0] == "L":
            lines.append("%s -> %s" % (ident, data))
        else:
            lines.append(ident)
    return lines


def parse(path):
    entries = {}
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.rstrip("\n")
            if line.startswith("V "):
                ident, _, data = line.partition(" = ")
            elif line.startswith("F "):
                ident, _, data = line.rpartition(" | ")
            elif line.startswith("L "):
                ident, _, data = line.partition(" -> ")
            else:
                ident, data = line, ""
            entries[ident] = data
    return entries


def entry_path(ident):
    path = ident[2:]
    return path.split(" | ")[0] if ident[0] == "V" else path


def is_noise(ident):
    return any(rx.search(entry_path(ident)) for rx, _ in NOISE_RE)


def is_product(ident):
    return any(rx.search(ident) for rx in PRODUCT_RE)


def diff(a, b):
    changes = []
    for ident in sorted(set(a) | set(b)):
        if is_noise(ident):
            continue
        if ident not in a:
            changes.append(("+", ident, b[ident]))
        elif ident not in b:
            changes.append(("-", ident, a[ident]))
        elif a[ident] != b[ident]:
            changes.append(("~", ident, b[ident]))
    return changes


def format_change(sign, ident, data):
    return "%s %s%s" % (sign, ident, (" = " + data) if data and ident[0] in "VFL" else "")


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    sub = parser.add_subparsers(dest="command", required=True)
    d = sub.add_parser("dump")
    d.add_argument("prefix")
    d.add_argument("-o", "--output")
    f = sub.add_parser("diff")
    f.add_argument("a")
    f.add_argument("b")
    which = f.add_mutually_exclusive_group()
    which.add_argument("--product-only", action="store_true", help="only changes that belong to the product")
    which.add_argument("--outside-product", action="store_true", help="only changes outside the product")
    args = parser.parse_args(argv)

    if args.command == "dump":
        text = "\n".join(dump(args.prefix)) + "\n"
        if args.output:
            with open(args.output, "w", encoding="utf-8") as out:
                out.write(text)
        else:
            sys.stdout.write(text)
        return 0

    changes = diff(parse(args.a), parse(args.b))
    if args.product_only:
        changes = [c for c in changes if is_product(c[1])]
    elif args.outside_product:
        changes = [c for c in changes if not is_product(c[1])]
    for change in changes:
        print(format_change(*change))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
