"""Makes the folders that bench/run packs into its inputs. Sizes and contents
come from a seeded generator, so that every run measures the same files.

  inputs.py tree DIR STORAGES STREAMS SIZE       STORAGES folders of STREAMS files of SIZE bytes
  inputs.py files DIR COUNT MIN MAX [FOLDERS]    COUNT files of MIN..MAX bytes, spread over FOLDERS
  inputs.py cfb FILE STORAGES STREAMS            a compound file of empty streams, written here:
                                                 STREAMS at the top when STORAGES is 0, else
                                                 STREAMS in each of STORAGES storages
"""
import os
import random
import struct
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


# The compound file writer: 512-byte sectors, the directory first, then the
# FAT, then the DIFAT pages beyond the header's 109 slots. gsf createole takes
# hours for a million files; this takes seconds, and is no part of the
# plug-in's engine.
FREE, END, FAT_SECT, DIF_SECT, NO_STREAM = 0xFFFFFFFF, 0xFFFFFFFE, 0xFFFFFFFD, 0xFFFFFFFC, 0xFFFFFFFF
ENTRY = struct.Struct("<64sHBBIII16sIQQIQ")


def sibling_trees(entries, children):
    """Links each storage's children as a balanced red-black tree."""
    for parent, ids in children.items():
        # Names of one length, so that the order of the sibling tree is theirs.
        ids.sort(key=lambda i: (len(entries[i][0]), entries[i][0].upper()))
        n = len(ids)
        red_depth = -1 if (n + 1) & n == 0 else n.bit_length() - 1

        def build(lo, hi, depth):
            if lo >= hi:
                return NO_STREAM
            mid = (lo + hi) // 2
            node = entries[ids[mid]]
            node[2] = build(lo, mid, depth + 1)
            node[3] = build(mid + 1, hi, depth + 1)
            node[5] = 0 if depth == red_depth else 1
            return ids[mid]

        entries[parent][4] = build(0, n, 0)


def write_cfb(path, storages, streams):
    # [name, type, left, right, child, color]
    entries = [["Root Entry", 5, NO_STREAM, NO_STREAM, NO_STREAM, 1]]
    children = {0: []}
    folders = [0] if storages == 0 else []
    for s in range(storages):
        entries.append(["storage%05d" % s, 1, NO_STREAM, NO_STREAM, NO_STREAM, 1])
        children[0].append(len(entries) - 1)
        children[len(entries) - 1] = []
        folders.append(len(entries) - 1)
    for folder in folders:
        for i in range(streams):
            entries.append(["stream%07d" % i, 2, NO_STREAM, NO_STREAM, NO_STREAM, 1])
            children[folder].append(len(entries) - 1)
    sibling_trees(entries, children)

    dir_sectors = (len(entries) + 3) // 4
    fat_sectors = difat_sectors = 0
    while True:  # the tables must cover themselves too
        total = dir_sectors + fat_sectors + difat_sectors
        need_fat = (total + 127) // 128
        need_difat = max(0, need_fat - 109 + 126) // 127
        if (need_fat, need_difat) == (fat_sectors, difat_sectors):
            break
        fat_sectors, difat_sectors = need_fat, need_difat
    fat_start, difat_start = dir_sectors, dir_sectors + fat_sectors
    fat = list(range(1, dir_sectors)) + [END] + [FAT_SECT] * fat_sectors + [DIF_SECT] * difat_sectors
    fat += [FREE] * (fat_sectors * 128 - len(fat))
    fat_ids = list(range(fat_start, fat_start + fat_sectors))

    header = bytearray(512)
    struct.pack_into("<8s16sHHHHH6sIIIIIIIII", header, 0, bytes.fromhex("D0CF11E0A1B11AE1"),
                     bytes(16), 0x3E, 3, 0xFFFE, 9, 6, bytes(6), 0, fat_sectors, 0, 0, 4096,
                     END, 0, difat_start if difat_sectors else END, difat_sectors)
    difat = fat_ids + [FREE] * (109 + difat_sectors * 127 - len(fat_ids))
    struct.pack_into("<109I", header, 76, *difat[:109])
    with open(path, "wb") as f:
        f.write(header)
        for name, kind, left, right, child, color in entries:
            encoded = name.encode("utf-16-le")
            f.write(ENTRY.pack(encoded, len(encoded) + 2, kind, color, left, right, child, bytes(16),
                               0, 0, 0, END if kind != 1 else 0, 0))
        f.write(bytes(128 * (dir_sectors * 4 - len(entries))))
        f.write(struct.pack("<%dI" % len(fat), *fat))
        for d in range(difat_sectors):
            next_page = difat_start + d + 1 if d + 1 < difat_sectors else END
            f.write(struct.pack("<128I", *difat[109 + d * 127:109 + (d + 1) * 127], next_page))


def main(argv):
    kind, root, *numbers = argv
    numbers = [int(n) for n in numbers]
    if kind == "tree":
        tree(root, *numbers)
    elif kind == "files":
        files(root, *numbers)
    elif kind == "cfb":
        write_cfb(root, *numbers)
    else:
        sys.exit("unknown kind " + kind)


if __name__ == "__main__":
    main(sys.argv[1:])
