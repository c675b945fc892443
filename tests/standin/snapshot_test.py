#!/usr/bin/env python3
"""snapshot.py reads Wine's registry files and folders the way the oracle relies on."""
import os
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "standin"))
import snapshot  # noqa: E402

SYSTEM_REG = r'''WINE REGISTRY Version 2
;; All keys relative to REGISTRY\\Machine

#arch=win64

[Software\\Wow6432Node\\ZEKT\\Velkor] 1700000000
#time=1da2b3c4d5e6f70
@="1.0.14.0"
"Path"=hex(2):43,00,3a,00,5c,00,\
  5a,00,00,00

[Software\\Wine\\Fonts\\Cache] 1700000001
"x"=dword:00000001
'''

USER_REG = r'''WINE REGISTRY Version 2
;; All keys relative to REGISTRY\\User\\S-1-5-21-0-0-0-1000

[Software\\ZEKT\\Velkor\\Common\\Ferrow\\{5E0C9A47-2B81-4D36-9F1E-7A3C5B8D0E62}] 1700000002
"Quoted \"name\""="a\\b"
'''


def make_prefix(folder, system_reg, files):
    with open(os.path.join(folder, "system.reg"), "w") as f:
        f.write(system_reg)
    with open(os.path.join(folder, "user.reg"), "w") as f:
        f.write(USER_REG)
    for path, content in files.items():
        full = os.path.join(folder, "drive_c", path)
        os.makedirs(os.path.dirname(full), exist_ok=True)
        with open(full, "w") as f:
            f.write(content)


def snapshot_of(folder):
    out = os.path.join(folder, "snap.txt")
    snapshot.main(["dump", folder, "-o", out])
    return out


class SnapshotTest(unittest.TestCase):
    def test_dump_names_roots_joins_continued_values_and_implies_parent_keys(self):
        with tempfile.TemporaryDirectory() as d:
            make_prefix(d, SYSTEM_REG, {"ProgramData/ZEKT/Velkor/VelkorData.dat": "data"})
            entries = snapshot.parse(snapshot_of(d))
        self.assertIn("K HKLM\\Software\\Wow6432Node\\ZEKT", entries)
        self.assertEqual(entries["V HKLM\\Software\\Wow6432Node\\ZEKT\\Velkor | Path"],
                         "hex(2):43,00,3a,00,5c,00,5a,00,00,00")
        self.assertEqual(entries["V HKLM\\Software\\Wow6432Node\\ZEKT\\Velkor | @"], '"1.0.14.0"')
        self.assertIn('V HKU\\S-1-5-21-0-0-0-1000\\Software\\ZEKT\\Velkor\\Common\\Ferrow\\'
                      '{5E0C9A47-2B81-4D36-9F1E-7A3C5B8D0E62} | Quoted "name"', entries)
        self.assertTrue(entries["F C:\\ProgramData\\ZEKT\\Velkor\\VelkorData.dat"].startswith("4 "))

    def test_diff_ignores_write_times_and_noise_but_reports_product_changes(self):
        with tempfile.TemporaryDirectory() as a, tempfile.TemporaryDirectory() as b:
            make_prefix(a, SYSTEM_REG, {"windows/temp/x.tmp": "1"})
            changed = (SYSTEM_REG.replace("1700000000", "1800000000").replace('"x"=dword:00000001', '"x"=dword:2')
                       .replace('@="1.0.14.0"', '@="1.0.15.0"'))
            make_prefix(b, changed, {"windows/temp/y.tmp": "2", "Program Files/ZEKT/Velkor/new.dat": "n"})
            changes = snapshot.diff(snapshot.parse(snapshot_of(a)), snapshot.parse(snapshot_of(b)))
        self.assertEqual([(sign, ident) for sign, ident, _ in changes], [
            ("+", "D C:\\Program Files"), ("+", "D C:\\Program Files\\ZEKT"),
            ("+", "D C:\\Program Files\\ZEKT\\Velkor"), ("+", "F C:\\Program Files\\ZEKT\\Velkor\\new.dat"),
            ("~", "V HKLM\\Software\\Wow6432Node\\ZEKT\\Velkor | @"),
        ])
        self.assertTrue(all(snapshot.is_product(ident) for _, ident, _ in changes[1:]))


if __name__ == "__main__":
    unittest.main()
