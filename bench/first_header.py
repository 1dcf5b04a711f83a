"""How long a listing takes to show its first entry, the way a file manager
sees it: the plug-in from OpenArchive to the first ReadHeaderEx, through its
exports; 7-Zip from starting `7zz l` to its first entry line.

  first_header.py plugin LIBRARY FILE   milliseconds to the plug-in's first header
  first_header.py 7zz FILE              milliseconds to 7-Zip's first entry line
"""
import ctypes
import subprocess
import sys
import time

PK_OM_LIST = 0


class OpenArchiveData(ctypes.Structure):
    _fields_ = [("ArcName", ctypes.c_char_p), ("OpenMode", ctypes.c_int32),
                ("OpenResult", ctypes.c_int32), ("CmtBuf", ctypes.c_char_p),
                ("CmtBufSize", ctypes.c_int32), ("CmtSize", ctypes.c_int32),
                ("CmtState", ctypes.c_int32)]


def plugin(library, path):
    wcx = ctypes.CDLL(library)
    wcx.OpenArchive.restype = ctypes.c_void_p
    wcx.ReadHeaderEx.argtypes = [ctypes.c_void_p, ctypes.c_void_p]
    wcx.CloseArchive.argtypes = [ctypes.c_void_p]
    header = ctypes.create_string_buffer(8192)  # larger than tHeaderDataEx
    data = OpenArchiveData(ArcName=path.encode(), OpenMode=PK_OM_LIST)
    start = time.perf_counter()
    handle = wcx.OpenArchive(ctypes.byref(data))
    if not handle or wcx.ReadHeaderEx(handle, header) != 0:
        sys.exit("no first header")
    elapsed = time.perf_counter() - start
    wcx.CloseArchive(handle)
    return elapsed


def seven_zip(path):
    start = time.perf_counter()
    with subprocess.Popen(["7zz", "l", path], stdout=subprocess.PIPE) as listing:
        separators = 0
        for line in listing.stdout:
            # Entries follow the first line of dashes.
            if line.startswith(b"-----"):
                separators += 1
            elif separators == 1:
                elapsed = time.perf_counter() - start
                listing.kill()
                return elapsed
    sys.exit("no entry line")


if __name__ == "__main__":
    seconds = plugin(sys.argv[2], sys.argv[3]) if sys.argv[1] == "plugin" else seven_zip(sys.argv[2])
    print("%.0f" % (seconds * 1000))
