"""wcxhost with Double Commander's own cpio.wcx and zip.wcx: the host works
with plug-ins we did not write, and says so clearly when one cannot do a job."""
import os
import pathlib
import shutil
import subprocess
import unittest
import zipfile

from wcxhost_testlib import SAMPLE_TREE, digest, HostTestCase, parse_listing, skip_all_unless

PLUGIN_DIR = pathlib.Path(os.environ["DC_PLUGIN_DIR"])
CPIO = PLUGIN_DIR / "cpio" / "cpio.wcx"
ZIP = PLUGIN_DIR / "zip" / "zip.wcx"


class CpioTest(HostTestCase):
    plugin = CPIO

    def setUp(self):
        super().setUp()
        source = self.make_tree("sample", SAMPLE_TREE)
        names = "\n".join(sorted(p.relative_to(source).as_posix() for p in source.rglob("*"))) + "\n"
        with open(self.tmp / "sample.cpio", "wb") as archive:
            subprocess.run(["cpio", "-o", "-H", "newc", "--quiet"], cwd=source, input=names.encode(),
                           stdout=archive, check=True)

    def host(self, *args, **kwargs):
        # cpio.wcx ends every listing with E_EREAD instead of E_END_ARCHIVE.
        return super().host("--lenient-end", *args, **kwargs)

    def test_list_shows_the_files(self):
        self.assertEqual(parse_listing(self.host("list", "sample.cpio").lines), {name: len(data) for name, data in SAMPLE_TREE.items() if data is not None})

    def test_extract_everything_and_one_folder(self):
        self.host("extract", "sample.cpio", "-C", "all")
        # cpio.wcx lists no folders, so the empty one does not come back.
        self.assertEqual(self.tree("all"), {k: v for k, v in self.tree("sample").items() if k != "tree/empty"})
        self.host("extract", "sample.cpio", "-C", "part", "tree/sub")
        self.assertEqual(self.tree("part"), {"tree": None, "tree/sub": None,
                                             "tree/sub/data.bin": digest(SAMPLE_TREE["tree/sub/data.bin"])})

    def test_test_and_check(self):
        self.assertEqual(self.host("test", "sample.cpio").lines, ["tested 3 files in archive 'sample.cpio': all OK"])
        self.host("check", "sample.cpio")
        self.host("check", "sample/notes.txt", expect=1)

    def test_cancel_through_the_callback(self):
        result = self.host("--cancel-after", "0", "extract", "sample.cpio", "-C", "out", expect=130)
        self.assertIn("(E_EABORTED: cancelled by the user)", result.stderr)


class ZipTest(HostTestCase):
    plugin = ZIP

    def test_packs_and_deletes_through_the_unicode_functions_only(self):
        with zipfile.ZipFile(self.tmp / "sample.zip", "w") as archive:
            archive.writestr("a.txt", "hello")
        self.make_tree("src", {"\u0434\u0430.txt": b"yes"})
        # zip.wcx packs and deletes only through the Unicode functions.
        self.assertIn("does not export PackFiles",
                      self.host("--ansi", "add", "sample.zip", "src/\u0434\u0430.txt", expect=3).stderr)
        self.assertIn("does not export DeleteFiles", self.host("--ansi", "delete", "sample.zip", "a.txt", expect=3).stderr)
        self.host("add", "sample.zip", "src/\u0434\u0430.txt")
        self.host("delete", "sample.zip", "a.txt")
        with zipfile.ZipFile(self.tmp / "sample.zip") as archive:
            self.assertEqual(archive.namelist(), ["\u0434\u0430.txt"])
        self.assertIn("PK_CAPS_NEW", self.host("caps").lines[0])


if __name__ == "__main__":
    skip_all_unless(CPIO.is_file() and ZIP.is_file(),
                    f"{CPIO} or {ZIP} missing (Debian package doublecmd-plugins)")
    skip_all_unless(shutil.which("cpio"), "the cpio command is missing (Debian package cpio)")
    unittest.main()
