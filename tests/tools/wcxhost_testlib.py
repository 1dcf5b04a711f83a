"""Helpers shared by the wcxhost tests: running the host, sample trees."""
import hashlib
import os
import pathlib
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

import cfb_check

WCXHOST = os.environ.get("WCXHOST", "")
SKIPPED = 77  # the tests' SKIP_RETURN_CODE

# Double Commander's Free Pascal plug-ins print their locale on loading.
_PLUGIN_CHATTER = ("SystemLocale ", "SystemLanguage ", "SystemEncoding ", "DefaultSystemCodePage ",
                   "DefaultFileSystemCodePage ", "DefaultRTLFileSystemCodePage ", "Zip plugin is loaded")


def digest(data):
    """Short enough for readable failure messages, unlike the bytes."""
    return f"{len(data)} bytes, sha256 {hashlib.sha256(data).hexdigest()[:16]}"


def parse_listing(lines):
    """{path: size} from the lines of `wcxhost list`; folders end in /, whichever
    delimiter the host's system uses."""
    entries = (re.fullmatch(r" *(\d+)  .{19}  (.+)", line) for line in lines)
    return {entry[2].replace("\\", "/"): int(entry[1]) for entry in entries if entry}


def run_program(command, **kwargs):
    """subprocess.run with the output captured, run once more when Wine could
    not start the program at all ("ShellExecuteEx" failed, seen once on a
    loaded machine): that says nothing about the program under test."""
    result = subprocess.run(command, capture_output=True, **kwargs)
    stderr = result.stderr if isinstance(result.stderr, str) else result.stderr.decode("latin-1")
    if result.returncode != 0 and "ShellExecuteEx" in stderr:
        result = subprocess.run(command, capture_output=True, **kwargs)
    return result


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


def skip_all_unless(condition, reason):
    if not condition:
        print(f"skipped: {reason}")
        sys.exit(SKIPPED)


class HostTestCase(unittest.TestCase):
    plugin = None  # set by each test class

    def setUp(self):
        self.tmp = pathlib.Path(tempfile.mkdtemp(prefix="wcxhost-test-"))
        self.addCleanup(shutil.rmtree, self.tmp, ignore_errors=True)

    def host(self, *args, expect=0, plugin=None, env=None, cwd=None, timeout=60, encoding=None):
        """Runs wcxhost in the temporary folder (or cwd); checks its exit status. Its
        output is read in the given encoding (the locale's by default)."""
        args = [str(arg) for arg in args]
        command = [WCXHOST, *([] if "--plugin" in args else ["--plugin", str(plugin or self.plugin)]), *args]
        result = run_program(command, cwd=cwd or self.tmp, text=True, encoding=encoding, timeout=timeout,
                             env={**os.environ, "TZ": "UTC", **(env or {})})
        result.lines = [line for line in result.stdout.splitlines() if not line.startswith(_PLUGIN_CHATTER)]
        self.assertEqual(result.returncode, expect,
                         f"wcxhost {' '.join(command[1:])}\nstdout:\n{result.stdout}\nstderr:\n{result.stderr}")
        return result

    def assert_readers_accept(self, *archives):
        """Readers we do not own, in their strictest mode, accept each file."""
        self.assertEqual("\n".join(f"{path.name}: {problem}" for path in archives
                                   for problem in cfb_check.check_file(path)), "")

    def make_tree(self, root, files):
        return write_tree(self.tmp / root, files)

    def tree(self, root):
        return read_tree(self.tmp / root)


def write_tree(root, files):
    """Files from a {relative path: bytes} map; a path ending in / is an empty folder."""
    root.mkdir(parents=True, exist_ok=True)
    for name, data in files.items():
        path = root / name
        if name.endswith("/"):
            path.mkdir(parents=True, exist_ok=True)
        else:
            path.parent.mkdir(parents=True, exist_ok=True)
            path.write_bytes(data)
    return root


def read_tree(root):
    """{relative path: digest of the bytes, None for a folder} of everything below root."""
    return {p.relative_to(root).as_posix(): None if p.is_dir() else digest(p.read_bytes())
            for p in sorted(root.rglob("*"))}


SAMPLE_TREE = {
    "notes.txt": b"first line\nsecond line\n",
    "tree/x.txt": b"x" * 1000,
    "tree/sub/data.bin": bytes(range(256)) * 300,
    "tree/empty/": None,
}
