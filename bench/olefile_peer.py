"""python3-olefile doing what the benchmarks ask of every tool.

  olefile_peer.py extract FILE STREAM OUT   copy one stream to a disk file
  olefile_peer.py list FILE                 print the path of every element
"""
import sys

import olefile


def extract(path, stream, out):
    with olefile.OleFileIO(path) as ole, ole.openstream(stream) as source, open(out, "wb") as target:
        while True:
            piece = source.read(1 << 20)
            if not piece:
                break
            target.write(piece)


def list_elements(path):
    with olefile.OleFileIO(path) as ole:
        lines = ["/".join(entry) for entry in ole.listdir(streams=True, storages=True)]
    sys.stdout.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    command, *args = sys.argv[1:]
    {"extract": extract, "list": list_elements}[command](*args)
