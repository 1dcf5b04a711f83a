"""How much a compound file grows when one stream in a storage of many is
deleted and added again, cycle after cycle, through the plug-in. The
archive holds the stream as it is added again.

  growth.py WCXHOST ARCHIVE STORAGE STREAM_FILE CYCLES   prints one JSON object
"""
import json
import os
import subprocess
import sys


def run(host, *args):
    subprocess.run([host, *args], check=True, stdout=subprocess.DEVNULL)


def cycle(host, archive, storage, stream):
    run(host, "delete", archive, storage + "/" + os.path.basename(stream))
    run(host, "add", archive, stream, "--into", storage)


def main(host, archive, storage, stream, cycles):
    before = os.path.getsize(archive)
    sizes = []
    for _ in range(cycles):
        cycle(host, archive, storage, stream)
        sizes.append(os.path.getsize(archive))
    print(json.dumps({"cycles": cycles, "stream_bytes": os.path.getsize(stream),
                      "before_bytes": before, "after_bytes": sizes}))


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4], int(sys.argv[5]))
