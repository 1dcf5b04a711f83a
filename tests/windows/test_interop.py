"""Interop between the two builds: compound files that the Linux build writes
(on our engine) are listed and extracted byte for byte by the Windows build
under Wine (on Wine's OLE32), and the other way round. The files hold names
beyond ASCII and streams on both sides of the 4096-byte mini-stream cutoff,
and come with 512-byte sectors (written by the plug-ins) and 4096-byte ones
(version 4, written by each side's structured storage directly).

The Windows side shows element names in its ANSI code page, escaping what
the code page cannot hold; it runs under two, Windows-1252 and the
double-byte 932."""
import os
import pathlib
import shutil
import subprocess
import sys
import tempfile
import unittest

import olefile

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent / "tools"))
from wcxhost_testlib import SKIPPED, parse_listing, read_tree, run_program, write_tree  # noqa: E402

ENV = os.environ
LINUX = [ENV.get("LINUX_WCXHOST", ""), "--plugin", ENV.get("LINUX_PLUGIN", "")]
WINDOWS = [ENV.get("WINDOWS_RUN", ""), ENV.get("WINDOWS_WCXHOST", ""), "--plugin", ENV.get("WINDOWS_PLUGIN", "")]

# Element paths and contents; a path ending in / is an empty storage.
ELEMENTS = {
    "Größe.txt": "Maße und Gewichte\n".encode(),
    "中文/说明.txt": "说明文字\n".encode(),
    "中文/表.bin": bytes(range(256)) * 3,
    "emoji \U0001F600.bin": b"\xF0\x9F\x98\x80" * 10,
    "cutoff/below.bin": b"b" * 4095,
    "cutoff/at.bin": b"a" * 4096,
    "cutoff/above.bin": b"c" * 4097,
    "cutoff/none.bin": b"",
    "big/data.bin": os.urandom(150000),
    "empty/": None,
}

ESCAPED = set('"*<>?|/\\:%#')


def display_name(element, codec):
    """The name a host sees for an element under a code page: each character
    in its exact bytes, or as #XXXX escapes of its UTF-16 units when the code
    page has none or they would be a control or reserved character."""
    shown = ""
    for char in element:
        try:
            data = char.encode(codec)
        except UnicodeEncodeError:
            data = None
        if data is None or any(b < 32 or chr(b) in ESCAPED for b in data):
            units = char.encode("utf-16-be")
            shown += "".join(f"#{units[i] << 8 | units[i + 1]:04X}" for i in range(0, len(units), 2))
        else:
            shown += char
    return shown


def shown_path(path, codec):
    return "/".join(display_name(part, codec) for part in path.split("/"))


class Side:
    """One build's wcxhost, run in a folder, its output read in its code page."""

    def __init__(self, command, codec, env):
        self.command, self.codec, self.env = command, codec, env

    def run(self, cwd, *args):
        result = run_program([*self.command, *map(str, args)], cwd=cwd, timeout=120,
                             env={**ENV, "TZ": "UTC", **self.env})
        stdout = result.stdout.decode(self.codec)
        if result.returncode != 0:
            raise AssertionError(f"{args} failed:\n{stdout}\n{result.stderr.decode(self.codec, 'replace')}")
        return stdout

    def listing(self, archive):
        return parse_listing(self.run(archive.parent, "list", archive.name).splitlines())


def locale_installed(name):
    listed = subprocess.run(["locale", "-a"], capture_output=True, text=True).stdout.split()
    return name.lower().replace("-", "") in (entry.lower().replace("-", "") for entry in listed)


# Wine takes the ANSI code page from the locale, and needs the locale
# installed to name files in UTF-8 on Linux: "C" gives Windows-1252.
LINUX_SIDE = Side(LINUX, "utf-8", {"LC_ALL": "C.UTF-8"})
WINDOWS_SIDES = {"cp1252": Side(WINDOWS, "cp1252", {"LC_ALL": "C.UTF-8"})}
if locale_installed("ja_JP.UTF-8"):
    WINDOWS_SIDES["cp932"] = Side(WINDOWS, "cp932", {"LC_ALL": "ja_JP.UTF-8"})
else:
    print("no ja_JP.UTF-8 locale: the Windows build runs under Windows-1252 only", file=sys.stderr)


def long_listing(archive):
    """The Linux build's long listing, lines without the columns' padding."""
    lines = LINUX_SIDE.run(archive.parent, "list", "--long", archive.name).splitlines()
    return [" ".join(line.split()) for line in lines]


class Interop(unittest.TestCase):
    def setUp(self):
        self.tmp = pathlib.Path(tempfile.mkdtemp(prefix="interop-"))
        self.addCleanup(shutil.rmtree, self.tmp, ignore_errors=True)

    def make_tree(self, name, codec):
        """The elements as files named the way a host under codec sees them."""
        return write_tree(self.tmp / name, {shown_path(path, codec): data for path, data in ELEMENTS.items()})

    def expected(self, codec):
        listing = {shown_path(path, codec): len(data or b"") for path, data in ELEMENTS.items()}
        for path in ELEMENTS:  # every storage on the way is listed too
            parts = path.rstrip("/").split("/")
            for depth in range(1, len(parts)):
                listing[shown_path("/".join(parts[:depth]), codec) + "/"] = 0
        return listing

    def assert_reads(self, side, archive):
        """side lists and extracts archive as holding exactly the elements."""
        self.assertEqual(side.listing(archive), self.expected(side.codec))
        out = self.tmp / f"out-{archive.stem}-{side.codec}"
        side.run(self.tmp, "extract", archive.name, "-C", out.name)
        self.assertEqual(read_tree(out), read_tree(self.make_tree(f"want-{side.codec}", side.codec)))

    def assert_others_read(self, archive):
        """olefile in its strictest mode and 7-Zip read archive, and find the
        elements under exactly their own names."""
        paths = {path.rstrip("/") for path in ELEMENTS} | {path.split("/")[0] for path in ELEMENTS}
        with olefile.OleFileIO(str(archive), raise_defects=olefile.DEFECT_INCORRECT) as ole:
            self.assertEqual({"/".join(entry) for entry in ole.listdir(streams=True, storages=True)}, paths)
        subprocess.run(["7zz", "t", archive], check=True, capture_output=True)

    def pack(self, side, archive):
        source = self.make_tree(f"src-{side.codec}", side.codec)
        # Relative: on Windows, wcxhost takes an argument starting with / for an option.
        side.run(source, "add", os.path.relpath(archive, source), *sorted(p.name for p in source.iterdir()))

    def assert_version(self, archive, version):
        header = archive.read_bytes()[:0x20]
        self.assertEqual((header[0x1A], header[0x1E]), (version, 12 if version == 4 else 9))

    def test_what_the_linux_build_writes_the_windows_build_reads(self):
        archive = self.tmp / "linux.doc"
        self.pack(LINUX_SIDE, archive)
        self.assert_version(archive, 3)
        for codec, side in WINDOWS_SIDES.items():
            with self.subTest(codec=codec):
                self.assert_reads(side, archive)

    def test_what_the_windows_build_writes_the_linux_build_reads(self):
        for codec, side in WINDOWS_SIDES.items():
            with self.subTest(codec=codec):
                archive = self.tmp / f"windows-{codec}.doc"
                self.pack(side, archive)
                self.assert_version(archive, 3)
                self.assert_others_read(archive)
                self.assert_reads(LINUX_SIDE, archive)

    def test_version_4_files_both_ways(self):
        source = self.make_tree("src-unicode", "utf-8")
        writers = {"linux": [ENV["LINUX_WRITER"]], "windows": [ENV["WINDOWS_RUN"], ENV["WINDOWS_WRITER"]]}
        readers = {"linux": WINDOWS_SIDES["cp1252"], "windows": LINUX_SIDE}
        for writer, command in writers.items():
            with self.subTest(writer=writer):
                archive = self.tmp / f"{writer}-v4.doc"
                subprocess.run([*command, archive, "4096", source], check=True, capture_output=True, timeout=120)
                self.assert_version(archive, 4)
                self.assert_reads(readers[writer], archive)

    def test_compaction_by_the_windows_build(self):
        """The Windows build deletes a large stream: its own file shrinks; a
        Linux-written one, whose storage times Wine's copy would lose, stays
        at its size. The Linux build reads the rest, times included."""
        windows = WINDOWS_SIDES["cp1252"]
        big = self.tmp / "big-src"
        big.mkdir()
        (big / "big.bin").write_bytes(b"b" * (3 << 20))
        for writer, shrinks in ((windows, True), (LINUX_SIDE, False)):
            with self.subTest(writer=writer.command[-1]):
                archive = self.tmp / f"compact-{writer.codec}.doc"
                self.pack(writer, archive)
                writer.run(big, "add", os.path.relpath(archive, big), "big.bin")
                before = long_listing(archive)
                written = archive.stat()
                windows.run(archive.parent, "delete", archive.name, "big.bin")
                # Elements that Wine leaves undated show the file's own time,
                # which the delete rightly changed.
                os.utime(archive, ns=(written.st_atime_ns, written.st_mtime_ns))
                self.assertEqual(long_listing(archive), [line for line in before if "big.bin" not in line])
                if shrinks:
                    self.assertLess(archive.stat().st_size, 1 << 20)
                else:
                    self.assertGreater(archive.stat().st_size, 3 << 20)
                self.assert_reads(LINUX_SIDE, archive)


if __name__ == "__main__":
    if not all(ENV.get(name) for name in ("LINUX_WCXHOST", "WINDOWS_WCXHOST", "LINUX_WRITER", "WINDOWS_WRITER")):
        print("skipped: needs a Linux build and a Windows build (QOR_LINUX_BUILD)")
        sys.exit(SKIPPED)
    unittest.main()
