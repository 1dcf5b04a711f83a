"""wcxhost against the recording plug-in: the calls it makes, its output,
its errors and exit codes, cancelling."""
import os
import pty
import select
import signal
import subprocess
import time
import unittest

from wcxhost_testlib import SAMPLE_TREE, digest, WCXHOST, HostTestCase

RECORDING = os.environ["RECORDING_PLUGIN"]
MINIMAL = os.environ["RECORDING_MINIMAL_PLUGIN"]
BROKEN = os.environ["RECORDING_BROKEN_PLUGIN"]

ARCHIVE = """RECORDING-WCX
41ed 0 1700000000 docs
81a4 10 1700000000 docs/a.txt
81a4 5000000000 1700000000 big.bin
81a4 7 0 top.txt
"""

LISTING_CALLS = ["OpenArchive $T/arc.rec mode=0", "SetChangeVolProc h", "SetProcessDataProc h",
                 "ReadHeaderEx -> docs", 'ProcessFile 0 null ""',
                 "ReadHeaderEx -> docs/a.txt", 'ProcessFile 0 null ""',
                 "ReadHeaderEx -> big.bin", 'ProcessFile 0 null ""',
                 "ReadHeaderEx -> top.txt", 'ProcessFile 0 null ""',
                 "ReadHeaderEx -> end", "CloseArchive"]


class RecordingTestCase(HostTestCase):
    plugin = RECORDING

    def setUp(self):
        super().setUp()
        self.log = self.tmp / "calls.log"
        os.environ["RECORDING_WCX_LOG"] = str(self.log)
        self.write_archive("arc.rec", ARCHIVE)

    def write_archive(self, name, text):
        (self.tmp / name).write_text(text)

    def calls(self):
        """The plug-in's log with the temporary folder shown as $T, then cleared."""
        lines = self.log.read_text().replace(str(self.tmp), "$T").splitlines() if self.log.exists() else []
        self.log.unlink(missing_ok=True)
        return lines


class CallOrderTest(RecordingTestCase):
    def test_list_reads_every_header_and_skips_it(self):
        result = self.host("list", "arc.rec")
        self.assertEqual(result.lines, [
            "         0  2023-11-14 22:13:20  docs/",
            "        10  2023-11-14 22:13:20  docs/a.txt",
            "5000000000  2023-11-14 22:13:20  big.bin",
            "         7  -                    top.txt",
        ])
        self.assertEqual(result.stderr, "")
        self.assertEqual(self.calls(), LISTING_CALLS)

    def test_long_list_shows_attributes_and_packed_sizes(self):
        result = self.host("list", "--long", "arc.rec")
        self.assertEqual(result.lines[0], "drwxr-xr-x           0           0  2023-11-14 22:13:20  docs/")
        self.assertEqual(result.lines[2], "-rw-r--r--  2500000000  5000000000  2023-11-14 22:13:20  big.bin")

    def test_list_keeps_every_line_until_the_widths_are_known(self):
        # Paths that share a beginning, get shorter again, and times that
        # change and change back: each line comes out as the plug-in sent it.
        self.write_archive("paths.rec", """RECORDING-WCX
41ed 0 1700000000 ab
81a4 18446744073709551615 1700000000 ab/cd.txt
81a4 1 0 ab/c
81a4 2 1700000000 a
41ed 0 1700000000 abc
""")
        self.assertEqual(self.host("list", "--long", "paths.rec").lines, [
            "drwxr-xr-x                    0                     0  2023-11-14 22:13:20  ab/",
            "-rw-r--r--  9223372036854775807  18446744073709551615  2023-11-14 22:13:20  ab/cd.txt",
            "-rw-r--r--                    0                     1  -                    ab/c",
            "-rw-r--r--                    1                     2  2023-11-14 22:13:20  a",
            "drwxr-xr-x                    0                     0  2023-11-14 22:13:20  abc/",
        ])

    def test_without_ReadHeaderEx_headers_come_from_ReadHeader(self):
        result = self.host("list", "arc.rec", plugin=MINIMAL)
        # The old record has 32 bits for the size.
        self.assertIn("705032704  2023-11-14 22:13:20  big.bin", result.lines)
        self.assertIn("ReadHeader -> big.bin", self.calls())

    def test_extract_makes_folders_and_passes_full_targets(self):
        self.host("extract", "arc.rec", "-C", "out", "docs", "top.txt")
        self.assertEqual(self.tree("out"), {"docs": None, "docs/a.txt": digest(b"docs/a.txt"), "top.txt": digest(b"top.txt")})
        self.assertEqual(self.calls(), LISTING_CALLS + [
            "OpenArchive $T/arc.rec mode=1", "SetChangeVolProc h", "SetProcessDataProc h",
            "ReadHeaderEx -> docs", 'ProcessFile 0 null ""',
            "ReadHeaderEx -> docs/a.txt", 'ProcessFile 2 null "$T/out/docs/a.txt"',
            "ReadHeaderEx -> big.bin", 'ProcessFile 0 null ""',
            "ReadHeaderEx -> top.txt", 'ProcessFile 2 null "$T/out/top.txt"',
            "ReadHeaderEx -> end", "CloseArchive"])

    def test_test_sends_PK_TEST_for_files_only(self):
        result = self.host("test", "arc.rec")
        self.assertEqual(result.lines, ["tested 3 files in archive 'arc.rec': all OK"])
        calls = self.calls()
        self.assertEqual(calls[len(LISTING_CALLS):][:5], [
            "OpenArchive $T/arc.rec mode=1", "SetChangeVolProc h", "SetProcessDataProc h",
            "ReadHeaderEx -> docs", 'ProcessFile 0 null ""'])
        self.assertEqual(calls.count('ProcessFile 1 null ""'), 3)

    def test_add_lists_every_file_relative_to_its_folder(self):
        self.make_tree("src", SAMPLE_TREE)
        self.host("add", "new.rec", "src/tree", "src/notes.txt", "--into", "/in/here/")
        self.assertEqual(self.calls(), [
            "SetChangeVolProc -1", "SetProcessDataProc -1",
            'PackFiles $T/new.rec sub="in/here" src="$T/src/" flags=2',
            "  add tree/", "  add tree/empty/", "  add tree/sub/", "  add tree/sub/data.bin", "  add tree/x.txt",
            "  add notes.txt"])
        self.assertIn("76800  -                    in/here/tree/sub/data.bin", self.host("list", "new.rec").lines)

    def test_add_lists_a_folders_files_in_byte_order(self):
        # Names alike in their first sixteen bytes, prefixes of each other,
        # and with bytes past ASCII: the order of their bytes all the same.
        names = ["file100000.bin", "file10000.bin", "a_long_common_prefix_2", "a_long_common_prefix_10",
                 "a_long_common_prefix", "\u00c4rger", "Zebra", "zebra", "a"]
        self.make_tree("src", {"many/" + name: b"x" for name in names})
        self.host("add", "new.rec", "src/many")
        added = [call[len("  add many/"):] for call in self.calls() if call.startswith("  add many/")]
        self.assertEqual(added[1:], sorted(names, key=lambda name: name.encode()))

    def test_add_to_the_root_with_move(self):
        self.make_tree("src", SAMPLE_TREE)
        self.host("add", "new.rec", "src/tree", "--move")
        self.assertEqual(self.calls()[2], 'PackFiles $T/new.rec sub=null src="$T/src/" flags=3')
        # The plug-in moved the files; the emptied folders went too.
        self.assertEqual(self.tree("src"), {"notes.txt": digest(SAMPLE_TREE["notes.txt"])})

    def test_delete_sends_folders_as_wildcards(self):
        self.host("delete", "arc.rec", "docs/", "top.txt")
        self.assertEqual(self.calls()[len(LISTING_CALLS):], [
            "SetChangeVolProc -1", "SetProcessDataProc -1", "DeleteFiles $T/arc.rec",
            "  delete docs/*.*", "  delete top.txt"])
        self.assertEqual(self.host("list", "arc.rec").lines, ["5000000000  2023-11-14 22:13:20  big.bin"])

    def test_check_and_caps(self):
        (self.tmp / "plain.txt").write_text("hello")
        self.assertEqual(self.host("check", "arc.rec").lines, ["arc.rec: the plug-in handles this file"])
        self.assertEqual(self.calls(), ["CanYouHandleThisFile $T/arc.rec"])
        self.assertEqual(self.host("check", "plain.txt", expect=1).lines,
                         ["plain.txt: the plug-in does not handle this file"])
        self.assertEqual(self.host("caps").lines[0],
                         "capabilities: 79 (0x4f) PK_CAPS_NEW PK_CAPS_MODIFY PK_CAPS_MULTIPLE PK_CAPS_DELETE"
                         " PK_CAPS_BY_CONTENT")


class ErrorTest(RecordingTestCase):
    def test_failures_are_named_with_exit_status(self):
        (self.tmp / "plain.txt").write_text("hello")
        self.write_archive("unreadable.rec", "RECORDING-WCX\n!result 18\n")
        self.write_archive("damaged.rec", "RECORDING-WCX\n81a4 1 0 a\n!result 13\n81a4 1 0 b\n")
        self.write_archive("evil.rec", "RECORDING-WCX\n81a4 4 0 ok\n81a4 4 0 ../evil\n")
        self.write_archive("corrupt.rec", "RECORDING-WCX\n81a4 4 0 good\n81a4 4 0 corrupt.bin\n")
        cases = [
            (["list", "missing.rec"], 1, "cannot find archive 'missing.rec'"),
            (["list", "plain.txt"], 1, "cannot open archive 'plain.txt' (E_UNKNOWN_FORMAT: unknown archive format)"),
            (["list", "unreadable.rec"], 1, "cannot read archive 'unreadable.rec' (E_EREAD: error reading from a file)"),
            (["list", "damaged.rec"], 1, "cannot read archive 'damaged.rec' (E_BAD_ARCHIVE: the archive is damaged)"),
            (["--lenient-end", "list", "unreadable.rec"], 1, "cannot read archive 'unreadable.rec' (E_EREAD"),
            (["list", "."], 1, "'.' is a folder, not an archive"),
            (["extract", "arc.rec", "docs/nope"], 1, "no entry 'docs/nope' in archive 'arc.rec'"),
            (["extract", "evil.rec"], 1, "refusing to extract '../evil' from archive 'evil.rec'"),
            (["delete", "arc.rec", "nope"], 1, "no entry 'nope' in archive 'arc.rec'"),
            (["add", "arc.rec", "nope"], 1, "cannot find 'nope'"),
            (["test", "corrupt.rec"], 1, "test failed for 'corrupt.bin' in archive 'corrupt.rec' (E_BAD_DATA"),
            (["check", "missing.rec"], 1, "cannot find file 'missing.rec'"),
            (["--plugin", "no-such.wcx", "list", "arc.rec"], 3, "cannot find plug-in 'no-such.wcx'"),
            (["--plugin", "plain.txt", "list", "arc.rec"], 3, "cannot load plug-in 'plain.txt'"),
            (["--plugin", BROKEN, "list", "arc.rec"], 3, "does not export OpenArchive, CloseArchive"),
            (["--plugin", MINIMAL, "add", "arc.rec", "plain.txt"], 3, "does not export PackFiles"),
            (["--plugin", MINIMAL, "delete", "arc.rec", "top.txt"], 3, "does not export DeleteFiles"),
            ([], 2, "A subcommand is required"),
            (["list"], 2, "ARCHIVE is required"),
            (["list", "--bogus", "arc.rec"], 2, "--bogus"),
        ]
        for args, status, message in cases:
            with self.subTest(args=args):
                result = self.host(*args, expect=status)
                self.assertIn(message, result.stderr)
        self.assertFalse((self.tmp / "evil").exists() or (self.tmp / "ok").exists())

    def test_lenient_end_takes_a_late_error_as_the_end(self):
        self.write_archive("damaged.rec", "RECORDING-WCX\n81a4 1 0 a\n!result 18\n81a4 1 0 b\n")
        result = self.host("--lenient-end", "list", "damaged.rec")
        self.assertEqual(result.lines, ["1  -                    a"])
        self.assertIn("warning: the listing of archive 'damaged.rec' ended with a result other than E_END_ARCHIVE"
                      " (E_EREAD", result.stderr)

    def test_every_subcommand_has_help(self):
        for command in ["caps", "check", "list", "test", "extract", "add", "delete"]:
            with self.subTest(command=command):
                self.assertIn("Usage:", self.host(command, "--help").stdout)


class CancelTest(RecordingTestCase):
    def test_cancel_after_n_callbacks(self):
        self.make_tree("src", SAMPLE_TREE)
        before = (self.tmp / "arc.rec").read_text()
        cases = [
            (["extract", "arc.rec", "docs"], "cannot extract 'docs/a.txt' from archive 'arc.rec'"),
            (["test", "arc.rec"], "testing archive 'arc.rec' cancelled"),
            (["add", "arc.rec", "src"], "cannot add to archive 'arc.rec'"),
            (["delete", "arc.rec", "docs", "top.txt"], "cannot delete from archive 'arc.rec'"),
        ]
        for args, message in cases:
            with self.subTest(args=args):
                result = self.host("--cancel-after", "2", *args, expect=130)
                self.assertIn(message, result.stderr)
                self.assertIn("(E_EABORTED: cancelled by the user)", result.stderr)
                self.assertEqual((self.tmp / "arc.rec").read_text(), before)
                calls = [call.split()[0] for call in self.calls()]
                self.assertEqual(calls.count("OpenArchive"), calls.count("CloseArchive"))
        self.assertFalse((self.tmp / "docs" / "a.txt").exists())

    def test_ctrl_c_cancels_a_running_extraction(self):
        env = {**os.environ, "RECORDING_WCX_DELAY_MS": "100"}
        process = subprocess.Popen([WCXHOST, "--plugin", RECORDING, "extract", "arc.rec", "docs"], cwd=self.tmp,
                                   env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        deadline = time.monotonic() + 20
        while "ProcessFile 2" not in (self.log.read_text() if self.log.exists() else ""):
            self.assertLess(time.monotonic(), deadline, "the extraction never started")
            time.sleep(0.02)
        process.send_signal(signal.SIGINT)
        _, stderr = process.communicate(timeout=20)
        self.assertEqual(process.returncode, 130, stderr)
        self.assertIn("(E_EABORTED: cancelled by the user)", stderr)
        self.assertEqual(self.calls()[-1], "CloseArchive")

    def test_progress_bar_only_on_a_terminal(self):
        master, slave = pty.openpty()
        env = {**os.environ, "RECORDING_WCX_DELAY_MS": "150"}
        process = subprocess.Popen([WCXHOST, "--plugin", RECORDING, "extract", "arc.rec", "docs"], cwd=self.tmp,
                                   env=env, stdout=subprocess.DEVNULL, stderr=slave)
        os.close(slave)
        shown = b""
        while select.select([master], [], [], 20)[0]:
            try:
                chunk = os.read(master, 4096)
            except OSError:  # the terminal closed with the process
                break
            if not chunk:
                break
            shown += chunk
        os.close(master)
        self.assertEqual(process.wait(timeout=20), 0)
        self.assertRegex(shown.decode(), r"\[#*-*\] +\d+%  \d+ B.*docs/a\.txt")
        # Off a terminal the same run is silent (the other tests check stderr).
        self.assertEqual(self.host("extract", "arc.rec", "docs", env={"RECORDING_WCX_DELAY_MS": "0"}).stderr, "")


if __name__ == "__main__":
    unittest.main()
