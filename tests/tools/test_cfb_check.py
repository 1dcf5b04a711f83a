"""cfb_check.py accepts what other writers produce and refuses, in its own
structural check, each fault that makes a reader we do not own refuse a file."""
import pathlib
import shutil
import struct
import subprocess
import tempfile
import unittest

import cfb_check
from wcxhost_testlib import skip_all_unless

SECTOR = 512


class Sample:
    """A file libgsf wrote, with 140 FAT sectors (so one DIFAT sector) and a
    tree of storages, and the offsets a damage needs."""

    def __init__(self, folder):
        source = folder / "source"
        (source / "tree" / "sub").mkdir(parents=True)
        (source / "a.txt").write_bytes(b"small")
        (source / "tree" / "sub" / "data.bin").write_bytes(bytes(range(256)) * 300)
        (source / "big.bin").write_bytes(bytes(9_000_000))
        self.path = folder / "sample.doc"
        subprocess.run(["gsf", "createole", str(self.path), "a.txt", "big.bin", "tree"], cwd=source, check=True,
                       capture_output=True)
        self.data = self.path.read_bytes()
        parsed = cfb_check.CompoundFile(self.data)
        parsed.check_header()
        parsed.check_difat()
        self.fat_sectors = parsed.fat_sectors
        self.directory = (parsed.first_dir + 1) * SECTOR
        self.root_child = struct.unpack_from("<I", self.data, self.directory + 0x4C)[0]

    def fat_entry(self, sector):
        return (self.fat_sectors[sector // 128] + 1) * SECTOR + 4 * (sector % 128)


class CfbCheckTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = pathlib.Path(tempfile.mkdtemp(prefix="cfb-check-"))
        cls.sample = Sample(cls.tmp)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.tmp, ignore_errors=True)

    def damaged(self, name, change):
        data = bytearray(self.sample.data)
        change(data)
        path = self.tmp / name
        path.write_bytes(data)
        return path

    def test_files_other_writers_made_pass(self):
        wxs = self.tmp / "p.wxs"
        wxs.write_text("""<?xml version="1.0"?>
<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">
  <Product Id="*" Name="T" Language="1033" Version="1.0.0" Manufacturer="m"
           UpgradeCode="12345678-1234-1234-1234-123456789012">
    <Package InstallerVersion="200" Compressed="yes"/>
    <Media Id="1" Cabinet="a.cab" EmbedCab="yes"/>
    <Directory Id="TARGETDIR" Name="SourceDir"><Directory Id="ProgramFilesFolder"><Directory Id="D" Name="T">
      <Component Id="C" Guid="12345678-1234-1234-1234-123456789013"><File Id="F" Source="sample.doc"/>
      </Component>
    </Directory></Directory></Directory>
    <Feature Id="Fe" Level="1"><ComponentRef Id="C"/></Feature>
  </Product>
</Wix>""")
        files = [self.sample.path]
        if shutil.which("wixl"):
            subprocess.run(["wixl", "-o", "p.msi", "p.wxs"], cwd=self.tmp, check=True, capture_output=True)
            subprocess.run(["msibuild", str(self.tmp / "p.msi"), "-a", "extra", str(wxs)], check=True)
            files.append(self.tmp / "p.msi")
        for path in files:
            self.assertEqual(cfb_check.check_file(path), [], path.name)

    def test_faults_readers_refuse(self):
        sample = self.sample
        end = len(sample.data) // SECTOR - 1  # a sector added past the end
        cases = {
            "difat_count": (lambda d: struct.pack_into("<I", d, 0x48, 2),
                            "header counts 2 DIFAT sectors, the chain has 1"),
            "leak": (lambda d: (d.extend(bytes(SECTOR)), struct.pack_into("<I", d, sample.fat_entry(end), 0xFFFFFFFE)),
                     "1 allocated sectors belong to nothing"),
            "loop": (lambda d: struct.pack_into("<I", d, sample.directory + 128 * sample.root_child + 0x44,
                                                sample.root_child), "reached twice"),
            "name_length": (lambda d: struct.pack_into("<H", d, sample.directory + 128 * sample.root_child + 0x40, 40),
                            "name length field 40"),
            "stray_difsect": (lambda d: (d.extend(bytes(SECTOR)),
                                         struct.pack_into("<I", d, sample.fat_entry(end), 0xFFFFFFFC)),
                              "(DIFSECT)"),
            "short_chain": (lambda d: struct.pack_into("<I", d, sample.directory + 128 + 0x78, 9_500_000),
                            "sectors where"),
        }
        for name, (change, expected) in cases.items():
            with self.subTest(name):
                problems = cfb_check.check_structure(self.damaged(name + ".doc", change))
                self.assertTrue(any(expected in p for p in problems), problems)


if __name__ == "__main__":
    skip_all_unless(shutil.which("gsf"), "gsf is not installed")
    unittest.main()
