"""Makes the folders that bench/run packs into its inputs. Sizes and contents
come from a seeded generator, so that every run measures the same files.

  inputs.py tree DIR STORAGES STREAMS SIZE       STORAGES folders of STREAMS files of SIZE bytes
  inputs.py files DIR COUNT MIN MAX [FOLDERS]    COUNT files of MIN..MAX bytes, spread over FOLDERS
"""
import os
import random
import sys


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)


def tree(root, storages, streams, size):
    payload = b"x" * size
    for s in range(storages):
        folder = os.path.join(root, "storage%03d" % s)
        os.makedirs(folder, exist_ok=True)
        for i in range(streams):
            write(os.path.join(folder, "stream%05d" % i), payload)


def files(root, count, low, high, folders=1):
    rng = random.Random(16)
    # One block of random bytes that every file takes a slice of: the
    # content must not compress away, and drawing it per file would take
    # longer than the measurements.
    pool = rng.randbytes(high * 2)
    for i in range(count):
        folder = os.path.join(root, "folder%02d" % (i % folders)) if folders > 1 else root
        os.makedirs(folder, exist_ok=True)
        size = rng.randint(low, high)
        start = rng.randrange(0, len(pool) - size + 1)
        write(os.path.join(folder, "file%05d.bin" % i), pool[start:start + size])


def main(argv):
    kind, root, *numbers = argv
    numbers = [int(n) for n in numbers]
    if kind == "tree":
        tree(root, *numbers)
    elif kind == "files":
        files(root, *numbers)
    else:
        sys.exit("unknown kind " + kind)


if __name__ == "__main__":
    main(sys.argv[1:])
