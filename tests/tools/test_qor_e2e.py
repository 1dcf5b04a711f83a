"""wcxhost against qorStorageWCX. QorReadTest lists, tests and extracts
compound files that libgsf wrote; QorWriteTest adds and deletes, and olefile
and 7-Zip must read the results."""
import fcntl
import os
import pathlib
import shutil
import subprocess
import unittest

from wcxhost_testlib import (SAMPLE_TREE, HostTestCase, digest, parse_listing, read_tree, skip_all_unless,
                             write_tree)

try:
    import olefile
except ImportError:
    olefile = None

QOR = pathlib.Path(os.environ["QOR_PLUGIN"])
UNDER_WINE = "WCXHOST_UNDER_WINE" in os.environ  # the Windows build's wcxhost.exe and plug-in
SAMPLE_LISTING = {"tree/": 0, "tree/empty/": 0, "tree/sub/": 0, "tree/sub/data.bin": 76800, "tree/x.txt": 1000,
                  "notes.txt": 23}


class QorTestCase(HostTestCase):
    plugin = QOR

    def setUp(self):
        super().setUp()
        self.make_tree("sample", SAMPLE_TREE)

    def listing(self, archive="sample.doc"):
        return parse_listing(self.host("list", archive).lines)


class QorReadTest(QorTestCase):
    def setUp(self):
        super().setUp()
        subprocess.run(["gsf", "createole", str(self.tmp / "sample.doc"), "notes.txt", "tree"],
                       cwd=self.tmp / "sample", check=True, capture_output=True)

    def test_list_test_extract(self):
        self.assertEqual(self.listing(), SAMPLE_LISTING)
        self.assertEqual(self.host("test", "sample.doc").lines, ["tested 3 files in archive 'sample.doc': all OK"])
        self.host("extract", "sample.doc", "-C", "out")
        self.assertEqual(self.tree("out"), self.tree("sample"))
        self.host("extract", "sample.doc", "-C", "part", "tree/sub")
        self.assertEqual(self.tree("part"), {"tree": None, "tree/sub": None,
                                             "tree/sub/data.bin": digest(SAMPLE_TREE["tree/sub/data.bin"])})

    def test_caps_and_check(self):
        caps = self.host("caps").lines
        self.assertTrue(caps[0].startswith("capabilities: 335 (0x14f)"), caps)
        self.assertEqual(len(caps[1].split()), 22, caps)  # "exports:", the thirteen functions and eight W ones
        self.assertEqual(caps[2], "background: 3 (0x3) BACKGROUND_UNPACK BACKGROUND_PACK")
        self.host("check", "sample.doc")
        self.host("check", "sample/notes.txt", expect=1)

    def test_errors(self):
        cases = [
            (["list", "sample/notes.txt"], 1, "cannot read archive 'sample/notes.txt' (E_UNKNOWN_FORMAT"),
            (["list", "missing.doc"], 1, "cannot find archive 'missing.doc'"),
            (["extract", "sample.doc", "tree/nope"], 1, "no entry 'tree/nope' in archive 'sample.doc'"),
            (["delete", "sample.doc", "nope"], 1, "no entry 'nope' in archive 'sample.doc'"),
        ]
        for args, status, message in cases:
            with self.subTest(args=args):
                self.assertIn(message, self.host(*args, expect=status).stderr)

    def test_an_archive_in_use_or_damaged(self):
        if not UNDER_WINE:  # Wine's share modes do not see a Linux program's lock
            with open(self.tmp / "sample.doc", "rb") as held:
                fcntl.flock(held, fcntl.LOCK_EX)
                result = self.host("list", "sample.doc", expect=1)
            self.assertIn("(E_EOPEN: cannot open the file; another program or operation may be using it)", result.stderr)
        # Two storages of exactly one name, as only a damaged file has them:
        # neither can be opened, and testing says so. (On Windows the
        # system's OLE32 decides how a damaged file reads.)
        if UNDER_WINE:
            return
        self.make_tree("twins", {"twin1/a": b"a", "twin2/b": b"b"})
        self.host("add", "twins.doc", "twins/twin1", "twins/twin2")
        path = self.tmp / "twins.doc"
        path.write_bytes(path.read_bytes().replace("twin2".encode("utf-16-le"), "twin1".encode("utf-16-le")))
        result = self.host("test", "twins.doc", expect=1)
        self.assertIn("test failed for folder 'twin1' in archive 'twins.doc' (E_BAD_DATA", result.stderr)

    def test_cancel_an_extraction(self):
        result = self.host("--cancel-after", "0", "extract", "sample.doc", "-C", "out", expect=130)
        self.assertIn("(E_EABORTED: cancelled by the user)", result.stderr)


class QorWriteTest(QorTestCase):
    def setUp(self):
        super().setUp()
        self.host("add", "sample.doc", "sample/tree", "sample/notes.txt")

    def tearDown(self):
        self.assert_readers_accept(*sorted(self.tmp.glob("*.doc")))
        super().tearDown()

    def assert_readable_by_others(self, archive="sample.doc"):
        """olefile and 7-Zip find the elements under exactly the names the
        listing shows (tearDown has every reader judge the file)."""
        path = self.tmp / archive
        listed = {name.rstrip("/") for name in self.listing(archive)}
        with olefile.OleFileIO(str(path)) as ole:
            self.assertEqual({"/".join(entry) for entry in ole.listdir(streams=True, storages=True)}, listed)
        seven = subprocess.run(["7zz", "l", "-slt", str(path)], check=True, capture_output=True, text=True)
        paths = {line[len("Path = "):] for line in seven.stdout.splitlines()[1:] if line.startswith("Path = ")}
        self.assertEqual(paths - {str(path)}, listed)

    def stored(self, path, archive="sample.doc"):
        with olefile.OleFileIO(str(self.tmp / archive)) as ole:
            return digest(ole.openstream(path).read())

    def test_round_trip(self):
        self.assertEqual(self.listing(), SAMPLE_LISTING)
        self.host("extract", "sample.doc", "-C", "out")
        self.assertEqual(self.tree("out"), self.tree("sample"))
        self.assert_readable_by_others()

    def test_add_into_and_delete(self):
        added = self.host("add", "sample.doc", "sample/notes.txt", "--into", "tree/sub")
        self.assertEqual(added.lines, ["stored 1 file (23 bytes) and 0 folders into 'sample.doc'"])
        self.assertEqual(self.listing()["tree/sub/notes.txt"], 23)
        self.host("delete", "sample.doc", "tree/sub", "notes.txt")
        self.assertEqual(self.listing(), {"tree/": 0, "tree/empty/": 0, "tree/x.txt": 1000})
        self.assert_readable_by_others()

    def test_move_deletes_the_sources(self):
        moved = self.host("add", "moved.doc", "sample/tree", "--move")
        self.assertEqual(moved.lines, ["moved 2 files (77800 bytes) and 3 folders into 'moved.doc'"])
        self.assertEqual(self.tree("sample"), {"notes.txt": digest(SAMPLE_TREE["notes.txt"])})
        self.assertIn("tree/sub/data.bin", self.listing("moved.doc"))

    @unittest.skipIf(UNDER_WINE, "wcxhost.exe takes names in the ANSI code page")
    def test_names_in_every_script(self):
        names = {"\u0414\u0430\u043d\u043d\u044b\u0435/\u03a9\u03bc\u03ad\u03b3\u03b1.txt": b"ru el",
                 "\u4e2d\u6587 \U0001f600.txt": b"zh", "50%.txt": b"%"}
        self.make_tree("scripts", names)
        self.host("add", "scripts.doc", *(self.tmp / "scripts").iterdir())
        shown = {"\u0414\u0430\u043d\u043d\u044b\u0435/": 0, "\u0414\u0430\u043d\u043d\u044b\u0435/\u03a9\u03bc\u03ad\u03b3\u03b1.txt": 5,
                 "\u4e2d\u6587 \U0001f600.txt": 2, "50#0025.txt": 1}
        self.assertEqual(self.listing("scripts.doc"), shown)
        self.host("extract", "scripts.doc", "-C", "\u0432\u044b\u0445\u043e\u0434")
        names["50#0025.txt"] = names.pop("50%.txt")
        self.assertEqual(self.tree("\u0432\u044b\u0445\u043e\u0434"), read_tree(write_tree(self.tmp / "expected", names)))
        # The 8-bit functions under a code page without these scripts.
        ansi = self.host("--ansi", "list", "scripts.doc", env={"LC_ALL": "en_US.ISO-8859-1"})
        self.assertEqual(set(parse_listing(ansi.lines)),
                         {"#0414#0430#043D#043D#044B#0435/", "#0414#0430#043D#043D#044B#0435/#03A9#03BC#03AD#03B3#03B1.txt",
                          "#4E2D#6587 #D83D#DE00.txt", "50#0025.txt"})
        self.host("--ansi", "delete", "scripts.doc", "#4E2D#6587 #D83D#DE00.txt", env={"LC_ALL": "en_US.ISO-8859-1"})
        self.assertNotIn("\u4e2d\u6587 \U0001f600.txt", self.listing("scripts.doc"))

    def test_adding_to_a_file_another_tool_wrote(self):
        subprocess.run(["gsf", "createole", str(self.tmp / "other.doc"), "notes.txt", "tree"],
                       cwd=self.tmp / "sample", check=True, capture_output=True)
        self.make_tree("new", {"b.txt": b"b", "c.txt": b"cc", "a name of thirty-one characters": b"31"})
        self.host("add", "other.doc", "new/b.txt", "new/c.txt", "new/a name of thirty-one characters")
        self.host("add", "other.doc", "new/b.txt", "--into", "tree/sub")
        self.assertEqual(self.listing("other.doc"),
                         {**SAMPLE_LISTING, "b.txt": 1, "c.txt": 2, "a name of thirty-one characters": 2,
                          "tree/sub/b.txt": 1})
        self.assert_readable_by_others("other.doc")

    def test_replacing_keeps_the_name(self):
        """Names shorter and longer than any temporary name the replacing
        may use, and one of a single character."""
        names = ["notes.txt", "x", "a name of thirty-one characters"]
        self.make_tree("old", {name: b"old " + name.encode() for name in names})
        self.host("add", "sample.doc", *(f"old/{name}" for name in names))
        self.make_tree("new", {name: b"new" for name in names})
        self.host("add", "sample.doc", *(f"new/{name}" for name in names))
        self.assertEqual(self.listing(), {**SAMPLE_LISTING, "notes.txt": 3, "x": 3,
                                          "a name of thirty-one characters": 3})
        self.assertEqual({name: self.stored(name) for name in names}, {name: digest(b"new") for name in names})
        self.assert_readable_by_others()

    def test_cancel_leaves_the_archive_valid(self):
        """A cancelled add leaves no trace, a cancelled replace the old stream."""
        self.make_tree("big", {"big.bin": os.urandom(1 << 20)})
        before = self.listing()
        result = self.host("--cancel-after", "3", "add", "sample.doc", "big/big.bin", expect=130)
        self.assertIn("(E_EABORTED: cancelled by the user)", result.stderr)
        self.assertEqual(self.listing(), before)
        self.assert_readable_by_others()

        self.host("add", "sample.doc", "big/big.bin")
        old = digest((self.tmp / "big/big.bin").read_bytes())
        (self.tmp / "big/big.bin").write_bytes(os.urandom(1 << 20))
        self.host("--cancel-after", "3", "add", "sample.doc", "big/big.bin", expect=130)
        self.assertEqual(self.listing(), {**before, "big.bin": 1 << 20})
        self.assertEqual(self.stored("big.bin"), old)
        self.assert_readable_by_others()


if __name__ == "__main__":
    skip_all_unless(QOR.is_file(), f"{QOR} is not built")
    skip_all_unless(shutil.which("gsf"), "gsf is missing (Debian package libgsf-bin)")
    skip_all_unless(olefile is not None, "python3-olefile is missing")
    skip_all_unless(shutil.which("7zz"), "7-Zip's 7zz is missing")
    unittest.main()
