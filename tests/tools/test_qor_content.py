"""The [Content] folder through wcxhost and qorStorageWCX: attachments,
attached messages, packaged files, embedded documents and property sets
under their own names, read-only, beside the stored tree, which lists as
it would without them. Messages are checked against msgconvert; standalone
compound files against olefile and the other readers."""
import email
import email.policy
import email.utils
import os
import pathlib
import shutil
import subprocess
import unittest

import olefile

import content_samples as samples
from wcxhost_testlib import HostTestCase, parse_listing, skip_all_unless

QOR = pathlib.Path(os.environ["QOR_PLUGIN"])
UNDER_WINE = "WCXHOST_UNDER_WINE" in os.environ
CONTENT = "[Content]/"


def stored_part(listing):
    return {path: size for path, size in listing.items() if not path.startswith(CONTENT)}


def views(listing, folder=CONTENT):
    return {path[len(folder):]: size for path, size in listing.items()
            if path.startswith(folder) and path != folder}


def olefile_streams(path):
    """{path: bytes} of every stream, as olefile in its strictest mode reads them."""
    with olefile.OleFileIO(str(path), raise_defects=olefile.DEFECT_INCORRECT) as ole:
        return {"/".join(entry): ole.openstream(entry).read() for entry in ole.listdir(streams=True)}


class ContentTestCase(HostTestCase):
    plugin = QOR

    def host(self, *args, **kwargs):
        # wcxhost.exe prints names in the ANSI code page.
        return super().host(*args, encoding="cp1252" if UNDER_WINE else "utf-8", **kwargs)

    def list(self, archive, *options):
        return parse_listing(self.host(*options, "list", archive).lines)

    def extract_views(self, archive):
        # "[Content]" alone reads as a list to wcxhost's command line.
        self.host("extract", archive, "-C", "out", CONTENT)
        return self.tmp / "out" / "[Content]"

    def ini(self, text):
        path = self.tmp / "wcx.ini"
        path.write_text(text)
        return f"Z:{str(path)}".replace("/", "\\") if UNDER_WINE else str(path)


class MessageViewsTest(ContentTestCase):
    def setUp(self):
        super().setUp()
        self.msg = samples.write_message(self.tmp / "mail.msg", self.tmp / "mail")

    def test_attachments_text_and_attached_message(self):
        listing = self.list("mail.msg")
        self.assertEqual(set(views(listing)), {"Quarterly figures.txt", "report.pdf",
                                               "Übersicht März.txt", "Inner note.msg"})
        out = self.extract_views("mail.msg")
        for name, data in samples.ATTACHMENTS[:2]:
            self.assertEqual((out / name).read_bytes(), data, name)
            self.assertEqual(listing[CONTENT + name], len(data))
        text = (out / "Quarterly figures.txt").read_text("utf-8")
        for line in ("Subject: Quarterly figures", "From: Anna Sender <anna@example.org>",
                     "the figures are attached."):
            self.assertIn(line, text)

        inner = out / "Inner note.msg"
        self.assert_readers_accept(inner)
        streams = olefile_streams(inner)
        source = self.tmp / "mail" / "__attach_version1.0_#00000002" / "__substg1.0_3701000D"
        for path in source.rglob("*"):
            if path.is_file() and path.name != "__properties_version1.0":
                self.assertEqual(streams[path.relative_to(source).as_posix()], path.read_bytes(), path)
        self.assertEqual(len(streams["__properties_version1.0"]),
                         (source / "__properties_version1.0").stat().st_size + 8)
        self.assertIn("__nameid_version1.0/__substg1.0_00020102", streams)

    @unittest.skipUnless(shutil.which("msgconvert"), "msgconvert is not installed")
    def test_views_agree_with_msgconvert(self):
        out = self.extract_views("mail.msg")
        mime = self.msgconvert(self.msg)
        attached = {part.get_filename(): part.get_content() for part in mime.iter_attachments()
                    if part.get_filename()}
        for name, data in attached.items():
            self.assertEqual((out / name).read_bytes(), data, name)
        self.assertEqual(set(attached), {name for name, _ in samples.ATTACHMENTS[:2]})

        ours = dict(line.split(": ", 1) for line in
                    (out / "Quarterly figures.txt").read_text("utf-8").split("\n\n")[0].splitlines())
        self.assertEqual(ours["Subject"], str(mime["Subject"]))
        self.assertEqual(ours["From"], str(mime["From"]))
        for header in ("To", "Cc"):
            self.assertEqual(ours[header].split("; "),
                             [str(address) for address in mime[header].addresses])
        self.assertEqual(email.utils.parsedate_to_datetime(str(mime["Date"])).isoformat(),
                         ours["Date"].replace("Z", "+00:00"))

        inner = self.msgconvert(out / "Inner note.msg")
        self.assertEqual(str(inner["Subject"]), "Inner note")
        self.assertEqual(str(inner["To"]), "Carl Inner <carl@example.org>")
        self.assertEqual([part.get_content() for part in inner.iter_attachments()],
                         [b"inside the inner message\n"])

    def msgconvert(self, path):
        mime = subprocess.run(["msgconvert", "--outfile", "-", str(path)], check=True,
                              capture_output=True).stdout
        return email.message_from_bytes(mime, policy=email.policy.default)

    def test_writes_to_views_are_refused_and_change_nothing(self):
        before = self.msg.read_bytes()
        (self.tmp / "report.pdf").write_bytes(b"replacement")
        (self.tmp / "new.txt").write_bytes(b"new")
        for command in (["delete", "mail.msg", CONTENT + "report.pdf"],
                        ["delete", "mail.msg", CONTENT],
                        ["add", "mail.msg", "report.pdf", "--into", CONTENT],
                        ["add", "mail.msg", "new.txt", "--into", CONTENT]):
            result = self.host(*command, expect=1)
            self.assertIn("E_NOT_SUPPORTED", result.stderr, command)
            self.assertEqual(self.msg.read_bytes(), before, command)

    def test_damaged_attached_message_is_left_out_and_reported(self):
        properties = self.tmp / "mail" / "__attach_version1.0_#00000002" / "__substg1.0_3701000D" / \
            "__properties_version1.0"
        properties.write_bytes(properties.read_bytes()[:10])
        damaged = samples.write_ole(self.tmp / "damaged.msg", self.tmp / "mail")
        listing = self.list(damaged.name)
        self.assertNotIn(CONTENT + "Inner note.msg", listing)
        self.assertIn(CONTENT + "report.pdf", listing)
        self.assertIn("failed for folder '[Content]'", self.host("test", damaged.name, expect=1).stderr)

    def test_attachment_whose_stream_size_lies_is_left_out(self):
        data = bytearray(self.msg.read_bytes())
        entry = data.find("__substg1.0_37010102".encode("utf-16-le"))  # report.pdf's data
        self.assertEqual(entry % 128, 0)
        data[entry + 120:entry + 128] = (0x7FFFFFF0).to_bytes(8, "little")
        (self.tmp / "lying.msg").write_bytes(data)
        listing = self.list("lying.msg")
        self.assertNotIn(CONTENT + "report.pdf", listing)
        self.assertIn(CONTENT + "Inner note.msg", listing)
        off = self.list("lying.msg", "--ini", self.ini("[qorStorageWCX]\nContentViews=0\n"))
        self.assertEqual(stored_part(listing), off)
        self.assertIn("[Content]", self.host("test", "lying.msg", expect=1).stderr)


class DocumentViewsTest(ContentTestCase):
    def test_packaged_file_and_embedded_workbook(self):
        samples.write_document(self.tmp / "report.doc", self.tmp / "doc")
        listing = self.list("report.doc")
        self.assertEqual(set(views(listing)), {"notes.txt", "_1234567891.xls"})
        out = self.extract_views("report.doc")
        self.assertEqual((out / "notes.txt").read_bytes(), samples.PACKAGED)
        workbook = out / "_1234567891.xls"
        self.assert_readers_accept(workbook)
        self.assertEqual(olefile_streams(workbook),
                         {"Workbook": samples.WORKBOOK,
                          "\x01CompObj": (self.tmp / "doc/ObjectPool/_1234567891/\x01CompObj").read_bytes()})
        self.host("test", "report.doc")

    def test_stored_content_keeps_its_name(self):
        source = self.tmp / "doc"
        (source / "[Content]").mkdir(parents=True)
        (source / "[Content]" / "mine.txt").write_bytes(b"stored\n")
        samples.write_document(self.tmp / "named.doc", source)
        listing = self.list("named.doc")
        self.assertEqual(listing["[Content]/mine.txt"], 7)
        self.assertEqual(set(views(listing, "[Content] (02)/")), {"notes.txt", "_1234567891.xls"})

    def test_setting_turns_views_off(self):
        samples.write_document(self.tmp / "report.doc", self.tmp / "doc")
        with_views = self.list("report.doc")
        off = self.list("report.doc", "--ini", self.ini("[qorStorageWCX]\nContentViews=0\n"))
        self.assertEqual(off, stored_part(with_views))
        on = self.list("report.doc", "--ini", self.ini("[Other]\nContentViews=0\n"))
        self.assertEqual(on, with_views)

    def test_file_without_views_has_no_folder(self):
        source = self.make_tree("plain", {"a.txt": b"a", "sub/b.bin": b"b" * 100})
        archive = samples.write_ole(self.tmp / "plain.doc", source)
        self.assertFalse([path for path in self.list(archive.name) if "Content" in path])

    def test_hostile_objects_give_no_view_and_no_harm(self):
        cases = {
            "truncated": samples.ole10_native("notes.txt", samples.PACKAGED)[:9],
            "lying size": b"\xff\xff\xff\x7f" + samples.ole10_native("notes.txt", samples.PACKAGED)[4:],
            "lying data size": samples.ole10_native("notes.txt", b"x" * 10).replace(
                b"\x0a\0\0\0xxxxxxxxxx", b"\xff\xff\xff\x0fxxxxxxxxxx"),
        }
        for case, native in cases.items():
            with self.subTest(case):
                shutil.rmtree(self.tmp / "doc", ignore_errors=True)
                archive = samples.write_document(self.tmp / "hostile.doc", self.tmp / "doc", native)
                listing = self.list(archive.name)
                off = self.list(archive.name, "--ini", self.ini("[qorStorageWCX]\nContentViews=no\n"))
                self.assertEqual(stored_part(listing), off)
                self.assertNotIn(CONTENT + "notes.txt", listing)
                self.assertIn(CONTENT + "_1234567891.xls", listing)
                self.host("test", archive.name)
                self.host("extract", archive.name, "-C", "all-" + case.replace(" ", "-"))


@unittest.skipUnless(shutil.which("wixl"), "wixl (msitools) is not installed")
class InstallerSummaryTest(ContentTestCase):
    def test_summary_properties_as_text(self):
        from test_qor_msi import PRODUCT
        (self.tmp / "hello.txt").write_text("hello\n")
        (self.tmp / "tiny.wxs").write_text(PRODUCT)
        subprocess.run(["wixl", "-o", "tiny.msi", "tiny.wxs"], cwd=self.tmp, check=True, capture_output=True)
        listing = self.list("tiny.msi")
        self.assertEqual(set(views(listing)), {"SummaryInformation.txt"})
        text = (self.extract_views("tiny.msi") / "SummaryInformation.txt").read_text("utf-8")
        with olefile.OleFileIO(str(self.tmp / "tiny.msi")) as ole:
            meta = ole.get_metadata()
        for value in (meta.author, meta.subject, meta.title):
            if value:
                self.assertIn(value.decode("utf-8"), text)


if __name__ == "__main__":
    skip_all_unless(shutil.which("gsf"), "gsf (libgsf-bin) is not installed")
    unittest.main()
