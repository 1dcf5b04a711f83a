"""Compound files with content to show, written by libgsf (`gsf createole`)
from a folder tree: a mail message with attachments and an attached
message, a document with embedded objects. The message follows the layout
Outlook writes (property streams, __substg1.0_ streams, attachment and
recipient storages), enough for msgconvert to read it."""
import pathlib
import struct
import subprocess

PT_LONG, PT_SYSTIME, PT_UNICODE, PT_BINARY, PT_OBJECT = 0x0003, 0x0040, 0x001F, 0x0102, 0x000D
PR_MESSAGE_CLASS, PR_SUBJECT, PR_CLIENT_SUBMIT_TIME = 0x001A, 0x0037, 0x0039
PR_SENDER_NAME, PR_SENDER_EMAIL, PR_SENDER_ADDRTYPE = 0x0C1A, 0x0C1F, 0x0C1E
PR_DISPLAY_TO, PR_DISPLAY_CC, PR_BODY, PR_DELIVERY_TIME = 0x0E04, 0x0E03, 0x1000, 0x0E06
PR_RECIPIENT_TYPE, PR_DISPLAY_NAME, PR_ADDRTYPE, PR_EMAIL_ADDRESS, PR_SMTP_ADDRESS = (
    0x0C15, 0x3001, 0x3002, 0x3003, 0x39FE)
PR_ATTACH_DATA, PR_ATTACH_FILENAME, PR_ATTACH_METHOD, PR_ATTACH_LONG_FILENAME, PR_ATTACH_MIME = (
    0x3701, 0x3704, 0x3705, 0x3707, 0x370E)
PR_INTERNET_CPID, PR_MESSAGE_CODEPAGE = 0x3FDE, 0x3FFD

# 2024-03-05 14:30:00 UTC as a FILETIME.
SENT = (1709649000 + 11644473600) * 10_000_000


def _entry(prop, ptype, value):
    return struct.pack("<IIQ", prop << 16 | ptype, 6, value)


class PropertyFolder:
    """A message, recipient or attachment storage being written as a folder."""

    def __init__(self, folder, header):
        self.folder, self.header, self.entries = folder, header, b""
        folder.mkdir(parents=True, exist_ok=True)

    def string(self, prop, text):
        data = text.encode("utf-16-le") + b"\0\0"
        self._stream(prop, PT_UNICODE, data)

    def binary(self, prop, data):
        self._stream(prop, PT_BINARY, data)

    def _stream(self, prop, ptype, data):
        (self.folder / f"__substg1.0_{prop:04X}{ptype:04X}").write_bytes(data)
        self.entries += struct.pack("<IIII", prop << 16 | ptype, 6, len(data), 0)

    def long(self, prop, value):
        self.entries += _entry(prop, PT_LONG, value)

    def time(self, prop, filetime):
        self.entries += _entry(prop, PT_SYSTIME, filetime)

    def object(self, prop):
        """The storage that holds the property's value."""
        self.entries += struct.pack("<IIII", prop << 16 | PT_OBJECT, 6, 0xFFFFFFFF, 0)
        return self.folder / f"__substg1.0_{prop:04X}{PT_OBJECT:04X}"

    def close(self):
        (self.folder / "__properties_version1.0").write_bytes(self.header + self.entries)


def _message(folder, subject, body, attachments, recipients, header_size):
    counts = struct.pack("<IIII", len(recipients), len(attachments), len(recipients), len(attachments))
    message = PropertyFolder(folder, b"\0" * 8 + counts + b"\0" * (header_size - 24))
    message.string(PR_MESSAGE_CLASS, "IPM.Note")
    message.string(PR_SUBJECT, subject)
    message.string(PR_BODY, body)
    message.string(PR_SENDER_NAME, "Anna Sender")
    message.string(PR_SENDER_EMAIL, "anna@example.org")
    message.string(PR_SENDER_ADDRTYPE, "SMTP")
    message.string(PR_DISPLAY_TO, "; ".join(name for name, _, kind in recipients if kind == 1))
    message.string(PR_DISPLAY_CC, "; ".join(name for name, _, kind in recipients if kind == 2))
    message.time(PR_CLIENT_SUBMIT_TIME, SENT)
    message.time(PR_DELIVERY_TIME, SENT)
    message.long(PR_INTERNET_CPID, 65001)
    for i, (name, address, kind) in enumerate(recipients):
        recipient = PropertyFolder(folder / f"__recip_version1.0_#{i:08X}", b"\0" * 8)
        recipient.long(PR_RECIPIENT_TYPE, kind)
        recipient.string(PR_DISPLAY_NAME, name)
        recipient.string(PR_ADDRTYPE, "SMTP")
        recipient.string(PR_EMAIL_ADDRESS, address)
        recipient.string(PR_SMTP_ADDRESS, address)
        recipient.close()
    for i, (name, data) in enumerate(attachments):
        attachment = PropertyFolder(folder / f"__attach_version1.0_#{i:08X}", b"\0" * 8)
        if isinstance(data, dict):  # an attached message
            attachment.long(PR_ATTACH_METHOD, 5)
            attachment.string(PR_DISPLAY_NAME, name)
            _message(attachment.object(PR_ATTACH_DATA), **data, header_size=24)
        else:
            attachment.long(PR_ATTACH_METHOD, 1)
            attachment.string(PR_ATTACH_LONG_FILENAME, name)
            attachment.string(PR_ATTACH_FILENAME, name[:8])
            attachment.string(PR_DISPLAY_NAME, name)
            attachment.string(PR_ATTACH_MIME, "application/octet-stream")
            attachment.binary(PR_ATTACH_DATA, data)
        attachment.close()
    message.close()


INNER = {"subject": "Inner note", "body": "The attached message's own body.\r\n",
         "attachments": [("inner.txt", b"inside the inner message\n")],
         "recipients": [("Carl Inner", "carl@example.org", 1)]}
ATTACHMENTS = [("report.pdf", b"%PDF-1.4\n" + bytes(range(256)) * 40 + b"%%EOF\n"),
               ("Übersicht März.txt", "Grüße aus Köln\n".encode("utf-8")),
               ("Inner note", INNER)]
RECIPIENTS = [("Bob Receiver", "bob@example.org", 1), ("Cleo Copy", "cleo@example.org", 2)]


def write_message(path, source):
    """A .msg with two attachments (one with a non-ASCII name) and an
    attached message, written from the folder `source`."""
    _message(source, "Quarterly figures", "Hello Bob,\r\nthe figures are attached.\r\n",
             ATTACHMENTS, RECIPIENTS, header_size=32)
    names = source / "__nameid_version1.0"
    names.mkdir()
    for stream in ("__substg1.0_00020102", "__substg1.0_00030102", "__substg1.0_00040102"):
        (names / stream).write_bytes(b"")
    return write_ole(path, source)


PACKAGED = b"packaged payload\n" * 20


def ole10_native(label, data):
    """A packaged file as the Windows packager stores it."""
    body = (struct.pack("<H", 2) + label.encode() + b"\0" + b"C:\\src\\" + label.encode() + b"\0"
            + struct.pack("<HH", 0, 3) + struct.pack("<I", 12) + b"C:\\tmp\\x.y\0\0"
            + struct.pack("<I", len(data)) + data)
    return struct.pack("<I", len(body)) + body


WORKBOOK = b"\x09\x08\x10\x00" + bytes(range(200)) * 10


def write_document(path, source, native=None):
    """A Word-like document with a packaged file and an embedded workbook."""
    source.mkdir(parents=True, exist_ok=True)
    (source / "WordDocument").write_bytes(b"\xec\xa5" + b"\0" * 510)
    package = source / "ObjectPool" / "_1234567890"
    package.mkdir(parents=True)
    (package / "\x01Ole10Native").write_bytes(native if native is not None else ole10_native("notes.txt", PACKAGED))
    workbook = source / "ObjectPool" / "_1234567891"
    workbook.mkdir()
    (workbook / "Workbook").write_bytes(WORKBOOK)
    (workbook / "\x01CompObj").write_bytes(b"\x01\xfe\0\0" + b"\0" * 24)
    return write_ole(path, source)


def write_ole(path, source):
    """The folder tree `source` as a compound file, as libgsf writes it."""
    path = pathlib.Path(path).absolute()
    subprocess.run(["gsf", "createole", str(path), *sorted(p.name for p in source.iterdir())],
                   cwd=source, check=True, capture_output=True)
    return path
