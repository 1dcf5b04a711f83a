"""A seeded editing soak through wcxhost: random adds and deletes (streams of
a few bytes to tens of MB, storages, names beyond ASCII, growth past and back
below the 109 FAT sectors a 512-byte-sector header lists), starting from an
Office-like file libgsf wrote and from a new file. After every step the
readers we do not own must accept the archive (cfb_check.py) and olefile
must list exactly the model's tree with its bytes.

QOR_SOAK_SEED picks the run (a new one each time when unset; printed either
way), QOR_SOAK_STEPS its length per starting file. Runs the Windows builds
too, under Wine (WCXHOST_UNDER_WINE)."""
import os
import pathlib
import random
import shutil
import subprocess
import sys
import time
import unittest

import cfb_check
from wcxhost_testlib import HostTestCase, shown_path, skip_all_unless

try:
    import olefile
except ImportError:
    olefile = None

QOR = pathlib.Path(os.environ.get("QOR_PLUGIN", ""))
UNDER_WINE = "WCXHOST_UNDER_WINE" in os.environ
SEED = int(os.environ.get("QOR_SOAK_SEED") or time.time_ns() % 1_000_000)
STEPS = int(os.environ.get("QOR_SOAK_STEPS", "10"))
MB = 1 << 20
# 109 FAT sectors of a 512-byte-sector file map 109 * 128 sectors, about 7 MB.
HEADER_FAT_SECTORS = 109

# Distinct under the format's case-insensitive comparison. wcxhost.exe takes
# names in the ANSI code page, so the Windows builds get Windows-1252 ones.
LATIN_NAMES = ["a.txt", "B.bin", "Größe", "café.doc", "naïve", "Zoë", "data", "ÆØÅ", "x" * 31, "1Table"]
WIDE_NAMES = ["Данные", "Ωμέγα.txt", "中文", "表.bin", "emoji \U0001F600", "ς-sigma"]
NAMES = LATIN_NAMES + ([] if UNDER_WINE else WIDE_NAMES)
CODEC = "cp1252" if UNDER_WINE else "utf-8"

# What Word writes at the top of a document, for the Office-like start.
OFFICE_LIKE = {
    "WordDocument": bytes(range(256)) * 40,
    "1Table": b"\x01" * 7000,
    "\x05SummaryInformation": b"\xfe\xff" + bytes(400),
    "\x05DocumentSummaryInformation": b"\xfe\xff" + bytes(300),
    "\x01CompObj": b"\x01\x00\xfe\xff" + bytes(100),
    "ObjectPool/_1234/\x01Ole": bytes(20),
    "ObjectPool/_1234/Contents": b"c" * 5000,
}


class Tree:
    """The model: stream paths -> bytes, and storage paths."""

    def __init__(self, streams=None):
        self.streams = dict(streams or {})
        self.storages = {"/".join(path.split("/")[:depth]) for path in self.streams
                         for depth in range(1, path.count("/") + 1)}

    def large_streams(self):
        return sorted(path for path, data in self.tree.streams.items() if len(data) > 6 * MB)

    def size(self):
        return sum(map(len, self.streams.values()))

    def add(self, path, data):
        self.streams[path] = data
        self.storages |= {"/".join(path.split("/")[:depth]) for depth in range(1, path.count("/") + 1)}

    def add_storage(self, path):
        self.storages |= {"/".join(path.split("/")[:depth]) for depth in range(1, path.count("/") + 2)}

    def delete(self, path):
        below = path + "/"
        self.streams = {p: d for p, d in self.streams.items() if p != path and not p.startswith(below)}
        self.storages = {p for p in self.storages if p != path and not p.startswith(below)}

    def olefile_view(self):
        return {**{p: len(d) for p, d in self.streams.items()}, **{p + "/": None for p in self.storages}}


class Steps:
    """Random edits, drawn so that a short run still crosses the 109 FAT
    sectors both ways: the first stores a large stream, later ones store one
    often while there is none, and delete it often while there is one."""

    def __init__(self, rng, tree):
        self.rng, self.tree = rng, tree
        self.first = True

    def large_streams(self):
        return sorted(path for path, data in self.tree.streams.items() if len(data) > 6 * MB)

    def size(self):
        rng, big = self.rng, self.large_streams()
        kind = rng.random()
        if kind < 0.04 and self.tree.size() < 40 * MB:
            return rng.randint(20 * MB, 30 * MB)
        if not big and kind < 0.25:
            return rng.randint(7 * MB, 12 * MB)
        if kind < 0.35:
            return rng.choice([0, 1, 63, 64, 65, 4095, 4096, 4097])
        if kind < 0.75:
            return rng.randint(0, 4000)
        return rng.randint(4096, 600_000)

    def place(self):
        """A new or existing path for an element: under an existing storage
        or a new one, never where a stream and a storage would share a name."""
        rng = self.rng
        parent = rng.choice(["", "", *sorted(self.tree.storages)])
        if rng.random() < 0.2:
            parent = f"{parent}/{rng.choice(NAMES)}".lstrip("/")
        if parent in self.tree.streams or any(parent.startswith(s + "/") for s in self.tree.streams):
            parent = ""
        return f"{parent}/{rng.choice(NAMES)}".lstrip("/")

    def next(self):
        rng, tree = self.rng, self.tree
        if self.first:
            self.first = False
            path = self.place()
            if path not in tree.storages:
                return ("add", path, rng.randint(7 * MB, 12 * MB))
        big = self.large_streams()
        if big and rng.random() < 0.4:
            return ("delete", rng.choice(big))
        if tree.streams and rng.random() < 0.3:
            return ("delete", rng.choice(sorted([*tree.streams, *tree.storages])))
        path = self.place()
        if path in tree.storages:
            return ("delete", path)
        if rng.random() < 0.1 and path not in tree.streams:
            return ("storage", path)
        return ("add", path, self.size())


def fat_sector_count(archive):
    if not archive.exists():
        return 0
    with open(archive, "rb") as file:
        return int.from_bytes(file.read(0x30)[0x2C:], "little")


class EditingSoak(HostTestCase):
    plugin = QOR

    def host_path(self, path):
        shown = shown_path(path, CODEC)
        return shown.replace("/", "\\") if UNDER_WINE else shown

    def apply(self, step, number, archive, tree):
        """Runs one edit through wcxhost and on the model."""
        stage = self.tmp / f"step{number}"
        if step[0] == "delete":
            self.host("delete", archive.name, self.host_path(step[1]), timeout=600)
            tree.delete(step[1])
            return
        target = stage / shown_path(step[1], CODEC)
        if step[0] == "storage":
            target.mkdir(parents=True)
            tree.add_storage(step[1])
        else:
            data = self.rng.randbytes(step[2])
            target.parent.mkdir(parents=True, exist_ok=True)
            target.write_bytes(data)
            tree.add(step[1], data)
        top = shown_path(step[1].split("/")[0], CODEC)
        self.host("add", os.path.relpath(archive, stage), top, cwd=stage, timeout=600)
        shutil.rmtree(stage)

    def assert_readers_accept(self, archive, tree, where):
        problems = cfb_check.check_file(archive)
        if not problems:
            with olefile.OleFileIO(str(archive)) as ole:
                seen = {}
                for parts in ole.listdir(streams=True, storages=True):
                    path = "/".join(parts)
                    if ole.get_type(parts) == olefile.STGTY_STORAGE:
                        seen[path + "/"] = None
                    else:
                        data = ole.openstream(parts).read()
                        seen[path] = len(data)
                        if data != tree.streams.get(path, data):
                            problems.append(f"olefile: {path!r} holds other bytes than were added")
            if seen != tree.olefile_view():
                problems.append(f"olefile lists {sorted(seen.items())}\nthe model {sorted(tree.olefile_view().items())}")
        if problems:
            kept = pathlib.Path(os.environ.get("TMPDIR", "/tmp")) / f"qor-soak-{SEED}-{archive.name}"
            shutil.copyfile(archive, kept)
            self.fail(f"seed {SEED} {where} (QOR_SOAK_SEED={SEED} reproduces it; the file is kept as {kept}):\n"
                      + "\n".join(problems))

    def soak(self, archive, tree):
        self.rng = random.Random(f"{SEED} {archive.name}")
        steps = Steps(self.rng, tree)
        history, fat_counts = [], [fat_sector_count(archive)]
        for number in range(STEPS):
            step = steps.next()
            history.append(step)
            self.apply(step, number, archive, tree)
            where = f"{archive.name} step {number}: " + "; ".join(map(str, history[-6:]))
            self.assert_readers_accept(archive, tree, where)
            fat_counts.append(fat_sector_count(archive))
        crossings = sum((a > HEADER_FAT_SECTORS) != (b > HEADER_FAT_SECTORS) for a, b in zip(fat_counts, fat_counts[1:]))
        print(f"\n{archive.name}: seed {SEED}, {STEPS} steps, at most {max(fat_counts, default=0)} FAT sectors, "
              f"{crossings} crossings of {HEADER_FAT_SECTORS}", file=sys.stderr)

    def test_from_an_office_like_file(self):
        archive = self.tmp / "office.doc"
        source = self.tmp / "office"
        for path, data in OFFICE_LIKE.items():
            (source / path).parent.mkdir(parents=True, exist_ok=True)
            (source / path).write_bytes(data)
        subprocess.run(["gsf", "createole", str(archive), *sorted(os.listdir(source))], cwd=source, check=True,
                       capture_output=True)
        self.assertEqual(archive.read_bytes()[0x1E], 9)  # 512-byte sectors
        tree = Tree(OFFICE_LIKE)
        self.assert_readers_accept(archive, tree, "as libgsf wrote it")
        self.soak(archive, tree)

    def test_from_a_new_file(self):
        self.soak(self.tmp / "new.doc", Tree())


if __name__ == "__main__":
    skip_all_unless(QOR.is_file(), f"{QOR} is not built")
    skip_all_unless(olefile is not None, "python3-olefile is missing")
    skip_all_unless(shutil.which("gsf") and shutil.which("7zz"), "gsf or 7zz is missing")
    print(f"editing soak: QOR_SOAK_SEED={SEED} QOR_SOAK_STEPS={STEPS}", file=sys.stderr)
    unittest.main()
