#!/usr/bin/env python3
"""Adds other products' registrations to a stopped stand-in prefix: a heavily used PC.

    noise.py PREFIX --components N [--seed S]

Written straight into the prefix's system.reg and user.reg (stop the wineserver first; Wine reads
them when it starts), in the form and the views Windows Installer and COM use:

- N components, each with one or two client products, below Installer\\UserData\\<sid>\\Components
  (a tenth of them belong to per-user products and live under the user's SID);
- N/10 products: UserData <sid>\\Products with InstallProperties and Features, Classes\\Installer
  Products and Features (per-user products: the user's Software\\Microsoft\\Installer keys instead),
  UpgradeCodes, and an Uninstall entry, alternately in the 64-bit and the 32-bit view;
- N/4 COM classes, each registered in both views.

None of it names the stand-in product, so a removal run must find exactly what it finds without it.
The same seed gives the same machine.
"""
import argparse
import os
import random
import re
import sys

STAMP = "1796754591"
MACHINE_SID = "S-1-5-18"
INSTALLER = "Software\\Microsoft\\Windows\\CurrentVersion\\Installer"
UNINSTALL = "Microsoft\\Windows\\CurrentVersion\\Uninstall"


def guid(rng):
    h = "%032X" % rng.getrandbits(128)
    return "{%s-%s-%s-%s-%s}" % (h[0:8], h[8:12], h[12:16], h[16:20], h[20:32])


def packed(code):
    g = code.strip("{}").replace("-", "")
    return g[0:8][::-1] + g[8:12][::-1] + g[12:16][::-1] + "".join(g[i + 1] + g[i] for i in range(16, 32, 2))


def reg_text(text):
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


class Hive:
    """Sections for one .reg file, written in the registry's own name order so Wine loads them fast."""

    def __init__(self):
        self.keys = {}

    def key(self, path, **values):
        entry = self.keys.setdefault(path, {})
        entry.update(values)

    def text(self):
        out = []
        for path in sorted(self.keys, key=lambda p: p.upper().split("\\")):
            out.append("[%s] %s" % (path.replace("\\", "\\\\"), STAMP))
            for name, value in self.keys[path].items():
                shown = "@" if name == "@" else reg_text(name)
                data = "dword:%08x" % value if isinstance(value, int) else reg_text(value)
                out.append("%s=%s" % (shown, data))
            out.append("")
        return "\n".join(out) + "\n"


def user_sid(user_reg):
    with open(user_reg, encoding="utf-8", errors="replace") as f:
        for line in f:
            found = re.search(r"REGISTRY\\\\User\\\\(S-[0-9-]+)", line)
            if found:
                return found.group(1)
    raise SystemExit("noise.py: no user SID in " + user_reg)


def is_win64(system_reg):
    with open(system_reg, encoding="utf-8", errors="replace") as f:
        return any(line.strip() == "#arch=win64" for _, line in zip(range(10), f))


def build(components, seed, sid, win64):
    rng = random.Random(seed)
    machine, user = Hive(), Hive()
    products = []
    for k in range(components // 10 if components else 0):
        code, upgrade = guid(rng), guid(rng)
        per_user = k % 10 == 9
        products.append((code, per_user))
        owner_sid = sid if per_user else MACHINE_SID
        name = "Noise Product %05d" % k
        base = "%s\\UserData\\%s\\Products\\%s" % (INSTALLER, owner_sid, packed(code))
        machine.key(base + "\\InstallProperties", DisplayName=name, DisplayVersion="1.0.%d" % k,
                    LocalPackage="C:\\windows\\Installer\\noise%05d.msi" % k, WindowsInstaller=1,
                    Version=0x01000000 + k)
        machine.key(base + "\\Features", Main="")
        if per_user:
            user.key("Software\\Microsoft\\Installer\\Products\\" + packed(code), ProductName=name, Language=1041)
            user.key("Software\\Microsoft\\Installer\\Features\\" + packed(code), Main="")
            user.key("Software\\Microsoft\\Installer\\UpgradeCodes\\" + packed(upgrade), **{packed(code): ""})
        else:
            machine.key("Software\\Classes\\Installer\\Products\\" + packed(code), ProductName=name, Language=1041)
            machine.key("Software\\Classes\\Installer\\Features\\" + packed(code), Main="")
            machine.key("Software\\Classes\\Installer\\UpgradeCodes\\" + packed(upgrade), **{packed(code): ""})
            machine.key(INSTALLER + "\\UpgradeCodes\\" + packed(upgrade), **{packed(code): ""})
        view = "Software\\Wow6432Node\\" if win64 and k % 2 else "Software\\"
        machine.key(view + UNINSTALL + "\\" + code, DisplayName=name, Publisher="Noise",
                    UninstallString="MsiExec.exe /X" + code, WindowsInstaller=1)

    machine_products = [p for p in products if not p[1]]
    user_products = [p for p in products if p[1]]
    for i in range(components):
        pool = user_products if user_products and i % 10 == 9 else machine_products
        if not pool:
            break
        clients = rng.sample(pool, 2 if len(pool) > 1 and rng.random() < 0.3 else 1)
        owner_sid = sid if clients[0][1] else MACHINE_SID
        component = packed(guid(rng))
        values = {}
        for code, _ in clients:
            if i % 5 == 4:
                values[packed(code)] = "02:\\Software\\Noise\\%s\\Settings\\" % packed(code)
            else:
                values[packed(code)] = "C:\\Program Files\\Noise\\%s\\file%05d.dll" % (packed(code)[:8], i)
        machine.key("%s\\UserData\\%s\\Components\\%s" % (INSTALLER, owner_sid, component), **values)

    for i in range(components // 4):
        clsid = guid(rng)
        machine.key("Software\\Classes\\CLSID\\%s\\InprocServer32" % clsid,
                    **{"@": "C:\\Program Files\\Noise\\com%05d.dll" % i, "ThreadingModel": "Both"})
        if win64:
            machine.key("Software\\Classes\\Wow6432Node\\CLSID\\%s\\InprocServer32" % clsid,
                        **{"@": "C:\\Program Files (x86)\\Noise\\com%05d.dll" % i, "ThreadingModel": "Both"})
    return machine, user


def append(path, hive):
    if not hive.keys:
        return
    with open(path, "rb") as f:
        f.seek(-1, os.SEEK_END)
        ends_with_newline = f.read(1) == b"\n"
    with open(path, "a", encoding="utf-8", newline="\n") as f:
        f.write(("" if ends_with_newline else "\n") + "\n" + hive.text())


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("prefix")
    parser.add_argument("--components", type=int, required=True)
    parser.add_argument("--seed", type=int, default=14)
    args = parser.parse_args()
    system_reg = os.path.join(args.prefix, "system.reg")
    user_reg = os.path.join(args.prefix, "user.reg")
    machine, user = build(args.components, args.seed, user_sid(user_reg), is_win64(system_reg))
    append(system_reg, machine)
    append(user_reg, user)
    print("noise: %d components, %d products, %d COM classes; %d machine keys, %d user keys"
          % (args.components, args.components // 10, args.components // 4, len(machine.keys), len(user.keys)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
