"""wcxhost and qorStorageWCX on an installer database that wixl (msitools)
writes: stream names list decoded, and a database edited through the plug-in
stays one that msitools and 7-Zip read."""
import os
import pathlib
import shutil
import struct
import subprocess

import unittest

import olefile

from wcxhost_testlib import HostTestCase, parse_listing, skip_all_unless

QOR = pathlib.Path(os.environ["QOR_PLUGIN"])

PRODUCT = """<?xml version="1.0" encoding="utf-8"?>
<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">
  <Product Id="*" Name="Tiny" Language="1033" Version="1.0.0" Manufacturer="Qor"
           UpgradeCode="12345678-1234-1234-1234-123456789012">
    <Package InstallerVersion="200" Compressed="yes" InstallScope="perMachine"/>
    <Media Id="1" Cabinet="tiny.cab" EmbedCab="yes"/>
    <Directory Id="TARGETDIR" Name="SourceDir">
      <Directory Id="ProgramFilesFolder">
        <Directory Id="INSTALLDIR" Name="Tiny">
          <Component Id="C1" Guid="11111111-2222-3333-4444-555555555555">
            <File Id="hello.txt" Source="hello.txt"/>
          </Component>
        </Directory>
      </Directory>
    </Directory>
    <Feature Id="F" Level="1"><ComponentRef Id="C1"/></Feature>
  </Product>
</Wix>
"""


ALPHABET = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz._"


def installer_encoded(name):
    """The stored form as msitools' own encoder writes it, for an ASCII name."""
    out, i = "", 0
    while i < len(name):
        if name[i] in ALPHABET and i + 1 < len(name) and name[i + 1] in ALPHABET:
            out += chr(0x3800 + ALPHABET.index(name[i]) + (ALPHABET.index(name[i + 1]) << 6))
            i += 2
        elif name[i] in ALPHABET:
            out += chr(0x4800 + ALPHABET.index(name[i]))
            i += 1
        else:
            out += name[i]
            i += 1
    return out


def tool(*command, cwd):
    return subprocess.run(command, cwd=cwd, check=True, capture_output=True, text=True).stdout


class InstallerDatabaseTest(HostTestCase):
    plugin = QOR

    def setUp(self):
        super().setUp()
        (self.tmp / "hello.txt").write_text("hello\n")
        (self.tmp / "tiny.wxs").write_text(PRODUCT)
        tool("wixl", "-o", "tiny.msi", "tiny.wxs", cwd=self.tmp)

    def listing(self):
        return parse_listing(self.host("list", "tiny.msi").lines)

    def test_names_list_decoded_and_edits_stay_valid(self):
        listed = self.listing()
        self.assertLessEqual({"tiny.cab", "!File", "!_Columns", "!_Tables", "!_StringPool",
                              "#0005SummaryInformation"}, set(listed))
        self.assertFalse([name for name in listed if not name.isascii()], listed)
        self.host("extract", "tiny.msi", "-C", "out")
        tool("7zz", "e", "-tCompound", "-oref", "tiny.msi", "tiny.cab", cwd=self.tmp)
        self.assertEqual((self.tmp / "out/tiny.cab").read_bytes(), (self.tmp / "ref/tiny.cab").read_bytes())
        self.assertEqual(listed["!File"], (self.tmp / "out/!File").stat().st_size)

        # A stream added, a table deleted: msitools decodes the names the
        # plug-in stored, and still reads the database.
        (self.tmp / "add").mkdir()
        (self.tmp / "add/Extra.bin").write_bytes(b"extra")
        self.host("add", "tiny.msi", "add/Extra.bin")
        self.host("delete", "tiny.msi", "!MsiFileHash")
        listed = self.listing()
        self.assertEqual(listed["Extra.bin"], 5)
        self.assertNotIn("!MsiFileHash", listed)
        with olefile.OleFileIO(str(self.tmp / "tiny.msi")) as ole:
            self.assertTrue(ole.exists(installer_encoded("Extra.bin")), ole.listdir())
        streams = tool("msiinfo", "streams", "tiny.msi", cwd=self.tmp).split()
        self.assertIn("Extra.bin", streams)
        self.assertIn("tiny.cab", streams)
        self.assertIn("File", tool("msiinfo", "tables", "tiny.msi", cwd=self.tmp).split())
        self.assertIn("hello.txt", tool("msiinfo", "export", "tiny.msi", "File", cwd=self.tmp))
        self.assertIn("hello.txt", tool("msiextract", "-l", "tiny.msi", cwd=self.tmp))
        self.assert_readers_accept(self.tmp / "tiny.msi")
        seven = tool("7zz", "l", "-tCompound", "tiny.msi", cwd=self.tmp)
        self.assertIn("Extra.bin", seven)
        self.assertNotIn("!MsiFileHash", seven)

    def test_a_database_without_class_keeps_listing_decoded(self):
        """Tools that write no class: the names tell, and what is added keeps
        telling the same."""
        data = bytearray((self.tmp / "tiny.msi").read_bytes())
        sector_size = 1 << struct.unpack_from("<H", data, 0x1E)[0]
        root_entry = (struct.unpack_from("<I", data, 0x30)[0] + 1) * sector_size
        data[root_entry + 0x50:root_entry + 0x60] = bytes(16)  # the root's class
        (self.tmp / "tiny.msi").write_bytes(data)
        self.assertIn("!File", self.listing())

        # A name without a letter or digit is stored as it is, encoded or not.
        (self.tmp / "add").mkdir()
        (self.tmp / "add/---").write_bytes(b"dashes")
        self.host("add", "tiny.msi", "add/---")
        listed = self.listing()
        self.assertLessEqual({"!File", "tiny.cab", "---"}, set(listed))
        self.host("delete", "tiny.msi", "!File")
        self.assertNotIn("!File", self.listing())
        with olefile.OleFileIO(str(self.tmp / "tiny.msi")) as ole:
            self.assertTrue(ole.exists("---"), ole.listdir())
            self.assertFalse(ole.exists("\u4840" + installer_encoded("File")))


if __name__ == "__main__":
    skip_all_unless(QOR.is_file(), f"{QOR} is not built")
    # Not skipped for want of the tools: scripts/setup-debian.sh installs them.
    for program in ("wixl", "msiinfo", "msiextract", "7zz"):
        assert shutil.which(program), f"{program} is missing (Debian packages wixl, msitools, 7zip)"
    unittest.main()
