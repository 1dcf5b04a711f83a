#!/usr/bin/python3
"""Judges a compound file the way readers we do not own do: a structural
check written here from the format alone (no code shared with the engine),
then olefile in its strictest mode, then `7zz t`.

    python3 cfb_check.py [--allow-tail] FILE...
                                     one line per problem; exit 1 if any

From Python: check_file(path) -> list of problems (empty when every reader
accepts the file); check_structure(path) for the structural check alone.

--allow-tail (allow_tail=True) accepts space past what the FAT maps and a
partial last sector, as a writer that failed or was killed in the middle of
a commit leaves them. Readers accept them; 7-Zip only warns.

The structural check holds our output to what the format promises, not to
what lenient readers forgive: every sector owned exactly once, the DIFAT
exactly as long as the FAT needs, the directory a sound tree."""
import struct
import subprocess
import sys

SIGNATURE = bytes.fromhex("D0CF11E0A1B11AE1")
MAXREGSECT = 0xFFFFFFFA
DIFSECT = 0xFFFFFFFC
FATSECT = 0xFFFFFFFD
ENDOFCHAIN = 0xFFFFFFFE
FREESECT = 0xFFFFFFFF
NOSTREAM = 0xFFFFFFFF
SPECIAL_NAMES = {DIFSECT: "DIFSECT", FATSECT: "FATSECT", ENDOFCHAIN: "ENDOFCHAIN", FREESECT: "FREESECT",
                 0xFFFFFFFB: "reserved value 0xFFFFFFFB"}

HEADER_DIFAT_ENTRIES = 109
ENTRY_SIZE = 128
MINI_SECTOR_SIZE = 64
MINI_CUTOFF = 4096
UNUSED, STORAGE, STREAM, ROOT = 0, 1, 2, 5
MAX_PROBLEMS = 40  # a broken FAT would otherwise report every sector


def sector_name(value):
    return SPECIAL_NAMES.get(value, str(value))


def ceil_div(a, b):
    return -(-a // b)


class Entry:
    def __init__(self, index, raw, version):
        self.index = index
        self.raw = raw
        name_bytes = raw[:64]
        self.name_length = struct.unpack_from("<H", raw, 0x40)[0]
        self.type, self.colour = raw[0x42], raw[0x43]
        self.left, self.right, self.child = struct.unpack_from("<III", raw, 0x44)
        self.start = struct.unpack_from("<I", raw, 0x74)[0]
        size = struct.unpack_from("<Q", raw, 0x78)[0]
        self.size_high_garbage = version == 3 and size >> 32 != 0
        self.size = size & 0xFFFFFFFF if version == 3 else size
        units = struct.unpack("<32H", name_bytes)
        self.units = units[:units.index(0)] if 0 in units else units
        self.terminated = 0 in units
        self.name = bytes(name_bytes[:2 * len(self.units)]).decode("utf-16-le", "backslashreplace")
        self.path = self.name


def order_key(units):
    """Shorter names first, then code unit by code unit after simple
    upper-casing; surrogates and characters whose capital is not one unit
    stay as they are."""
    def upper(unit):
        if 0xD800 <= unit < 0xE000:
            return unit
        capital = chr(unit).upper()
        return ord(capital) if len(capital) == 1 and ord(capital) < 0x10000 else unit
    return (len(units), tuple(upper(u) for u in units))


class CompoundFile:
    """The raw structures of one file, with everything found wrong."""

    def __init__(self, data, allow_tail=False):
        self.data = data
        self.allow_tail = allow_tail
        self.problems = []
        self.sector_size = 512
        self.owner = {}

    # Header ------------------------------------------------------------

    def check_header(self):
        data, add = self.data, self.problems.append
        if len(data) < 512:
            add(f"file of {len(data)} bytes is shorter than a header")
            return False
        if data[:8] != SIGNATURE:
            add("wrong signature")
            return False
        if any(data[8:24]):
            add("header CLSID is not zero")
        (minor, major, byte_order, shift, mini_shift) = struct.unpack_from("<HHHHH", data, 0x18)
        (self.dir_count, self.fat_count, self.first_dir, transaction, cutoff, self.first_minifat,
         self.minifat_count, self.first_difat, self.difat_count) = struct.unpack_from("<9I", data, 0x28)
        if minor not in (0x3E, 0x3B):
            add(f"minor version {minor:#x}")
        if byte_order != 0xFFFE:
            add(f"byte order {byte_order:#x}")
            return False
        if (major, shift) not in ((3, 9), (4, 12)):
            add(f"major version {major} with sector shift {shift}")
            return False
        self.version = major
        self.sector_size = 1 << shift
        if mini_shift != 6:
            add(f"mini sector shift {mini_shift}")
            return False
        if cutoff != MINI_CUTOFF:
            add(f"mini stream cutoff {cutoff}")
            return False
        if any(data[0x22:0x28]):
            add("reserved header bytes are not zero")
        if transaction != 0:
            add(f"transaction signature {transaction}")
        if major == 3 and self.dir_count != 0:
            add(f"version 3 header counts {self.dir_count} directory sectors instead of 0")
        if major == 4 and any(data[512:4096]):
            add("the rest of the version 4 header sector is not zero")
        body = len(data) - self.sector_size
        if body < 0 or (body % self.sector_size and not self.allow_tail):
            add(f"file length {len(data)} is not a whole number of {self.sector_size}-byte sectors")
        self.sector_count = max(0, ceil_div(body, self.sector_size))
        return True

    def sector(self, number):
        start = (number + 1) * self.sector_size
        return self.data[start:start + self.sector_size].ljust(self.sector_size, b"\0")

    def words(self, number):
        return struct.unpack(f"<{self.sector_size // 4}I", self.sector(number))

    # DIFAT and FAT -----------------------------------------------------

    def check_difat(self):
        add = self.problems.append
        if self.allow_tail:  # sectors past what the FAT maps are tail too
            self.sector_count = min(self.sector_count, self.fat_count * (self.sector_size // 4))
        per_difat = self.sector_size // 4 - 1
        header_entries = struct.unpack_from(f"<{HEADER_DIFAT_ENTRIES}I", self.data, 0x4C)
        listed = list(header_entries)
        self.difat_sectors = []
        next_sector = self.first_difat
        # Wine's OLE32 ends the chain with FREESECT, which readers accept.
        while next_sector != ENDOFCHAIN and not (next_sector == FREESECT and self.difat_sectors):
            if next_sector > MAXREGSECT or next_sector >= self.sector_count:
                add(f"DIFAT chain reaches sector {sector_name(next_sector)} after "
                    f"{len(self.difat_sectors)} DIFAT sectors")
                break
            if next_sector in self.difat_sectors:
                add(f"DIFAT chain loops at sector {next_sector}")
                break
            self.difat_sectors.append(next_sector)
            words = self.words(next_sector)
            listed.extend(words[:per_difat])
            next_sector = words[per_difat]
        if len(self.difat_sectors) != self.difat_count:
            add(f"header counts {self.difat_count} DIFAT sectors, the chain has {len(self.difat_sectors)}")
        needed = max(0, ceil_div(self.fat_count - HEADER_DIFAT_ENTRIES, per_difat))
        if len(self.difat_sectors) != needed:
            add(f"{len(self.difat_sectors)} DIFAT sectors where {self.fat_count} FAT sectors need {needed}")

        self.fat_sectors = []
        for position, value in enumerate(listed):
            if position < self.fat_count:
                if value > MAXREGSECT or value >= self.sector_count:
                    add(f"DIFAT entry {position} names FAT sector {sector_name(value)} (file has "
                        f"{self.sector_count} sectors)")
                    value = None  # keeps the later FAT sectors in their places
                self.fat_sectors.append(value)
            elif value != FREESECT:
                add(f"DIFAT entry {position} past the {self.fat_count} FAT sectors is {sector_name(value)}, "
                    "not FREESECT")
        self.listed_fat = [n for n in self.fat_sectors if n is not None]
        if len(set(self.listed_fat)) != len(self.listed_fat):
            add("the DIFAT lists a FAT sector twice")
        needed_fat = ceil_div(self.sector_count, self.sector_size // 4)
        # A FAT longer than the file needs is only waste: readers skip the rest.
        if self.fat_count < needed_fat:
            add(f"{self.fat_count} FAT sectors cannot describe {self.sector_count} sectors")

    def check_fat(self):
        add = self.problems.append
        fat = []
        for number in self.fat_sectors:
            fat.extend(self.words(number) if number is not None else [FREESECT] * (self.sector_size // 4))
        self.fat = fat
        for number in range(self.sector_count, len(fat)):
            if fat[number] != FREESECT:
                add(f"FAT entry {number} past the end of the file is {sector_name(fat[number])}, not FREESECT")
                break
        fat += [FREESECT] * (self.sector_count - len(fat))
        for number in self.listed_fat:
            self.claim(number, "the FAT")
            if fat[number] != FATSECT:
                add(f"FAT sector {number} is marked {sector_name(fat[number])} in the FAT, not FATSECT")
        for number in self.difat_sectors:
            self.claim(number, "the DIFAT")
            if fat[number] != DIFSECT:
                add(f"DIFAT sector {number} is marked {sector_name(fat[number])} in the FAT, not DIFSECT")

    def claim(self, number, owner):
        if number in self.owner:
            self.problems.append(f"sector {number} belongs to {self.owner[number]} and to {owner}")
        else:
            self.owner[number] = owner

    def sectors_for(self, size):
        return ceil_div(size, self.sector_size)

    def follow(self, start, table, limit, what):
        """The sectors of the chain from start in table (FAT or mini FAT);
        stops, with a problem, at anything but a sector number or ENDOFCHAIN."""
        chain, seen = [], set()
        number = start
        while number != ENDOFCHAIN:
            if number >= limit:
                self.problems.append(f"{what}: chain reaches {sector_name(number)} after {len(chain)} sectors")
                break
            if number in seen:
                self.problems.append(f"{what}: chain loops at sector {number}")
                break
            seen.add(number)
            chain.append(number)
            number = table[number] if number < len(table) else FREESECT
        return chain

    def regular_chain(self, start, expected, what):
        """Claims the chain; checks its length unless expected is None."""
        chain = self.follow(start, self.fat, self.sector_count, what)
        if expected is not None and len(chain) != expected:
            self.problems.append(f"{what}: chain of {len(chain)} sectors where {expected} are needed")
        for number in chain:
            self.claim(number, what)
        return chain

    def check_leaks(self):
        leaked = [n for n in range(self.sector_count) if self.fat[n] != FREESECT and n not in self.owner]
        if leaked:
            shown = ", ".join(f"{n} ({sector_name(self.fat[n])})" for n in leaked[:8])
            self.problems.append(f"{len(leaked)} allocated sectors belong to nothing: {shown}")

    # Directory ---------------------------------------------------------

    def read_directory(self):
        # Version 3 headers do not count directory sectors.
        chain = self.regular_chain(self.first_dir, self.dir_count if self.version == 4 else None, "the directory")
        if not chain:
            self.problems.append("no directory")
            return []
        raw = b"".join(self.sector(n) for n in chain)
        return [Entry(i, raw[i * ENTRY_SIZE:(i + 1) * ENTRY_SIZE], self.version)
                for i in range(len(raw) // ENTRY_SIZE)]

    def check_entry(self, entry):
        add = self.problems.append
        where = f"directory entry {entry.index}"
        if entry.type == UNUSED:
            # Cleared means zero but for the three ids, NOSTREAM; libgsf
            # leaves them zero too, which no reader minds.
            cleared = bytearray(ENTRY_SIZE)
            cleared[0x44:0x50] = b"\xff" * 12
            if entry.raw not in (bytes(cleared), bytes(ENTRY_SIZE)):
                add(f"{where} is unused but not cleared")
            return False
        if entry.type not in (STORAGE, STREAM, ROOT) or (entry.type == ROOT) != (entry.index == 0):
            add(f"{where} has type {entry.type}")
            return False
        if not entry.terminated or not entry.units:
            add(f"{where}: name is empty or has no terminator")
        elif entry.name_length != 2 * (len(entry.units) + 1):
            add(f"{where} ({entry.name!r}): name length field {entry.name_length}, the name takes "
                f"{2 * (len(entry.units) + 1)} bytes with its terminator")
        if entry.type != ROOT and any(c in entry.name for c in "/\\:!"):
            add(f"{where}: name {entry.name!r} holds a character names may not hold")
        if entry.colour not in (0, 1):
            add(f"{where}: colour {entry.colour}")
        if entry.size_high_garbage:
            add(f"{where}: version 3 stream size has a non-zero high half")
        # libgsf gives storages start sector ENDOFCHAIN.
        if entry.type == STORAGE and (entry.start not in (0, ENDOFCHAIN) or entry.size != 0):
            add(f"{where}: storage with start sector {entry.start} and size {entry.size}")
        if entry.type == STREAM and entry.child != NOSTREAM:
            add(f"{where}: stream with a child")
        return True

    def walk_tree(self, entries):
        """Paths of the used entries, each reached once from the root;
        reports loops, shared subtrees, bad ids, order and orphans."""
        add = self.problems.append
        used = {e.index for e in entries if self.check_entry(e)}
        if 0 not in used:
            add("entry 0 is not a root entry")
            return []
        reached = {0}
        storages = [entries[0]]
        while storages:
            parent = storages.pop()
            in_order, stack, node = [], [], parent.child
            while stack or node != NOSTREAM:
                while node != NOSTREAM:
                    if node not in used:
                        add(f"{parent.path}: link to {'unused' if node < len(entries) else 'missing'} "
                            f"entry {node}")
                        node = NOSTREAM
                    elif node in reached:
                        add(f"{parent.path}: entry {node} reached twice (loop or shared subtree)")
                        node = NOSTREAM
                    else:
                        reached.add(node)
                        stack.append(node)
                        node = entries[node].left
                if stack:
                    current = entries[stack.pop()]
                    in_order.append(current)
                    node = current.right
            for before, after in zip(in_order, in_order[1:]):
                if order_key(before.units) >= order_key(after.units):
                    add(f"{parent.path}: children {before.name!r} and {after.name!r} out of order or equal")
            for child in in_order:
                child.path = child.name if parent.index == 0 else f"{parent.path}/{child.name}"
                if child.type == STORAGE:
                    storages.append(child)
        orphans = sorted(used - reached)
        if orphans:
            add(f"{len(orphans)} used directory entries are not in the tree: {orphans[:8]}")
        return [entries[i] for i in sorted(reached)]

    # Streams and the mini stream ---------------------------------------

    def check_streams(self, tree):
        root = tree[0]
        if root.size % MINI_SECTOR_SIZE:
            self.problems.append(f"mini stream size {root.size} is not a whole number of mini sectors")
        self.regular_chain(root.start, self.sectors_for(root.size), "the mini stream")
        mini_count = ceil_div(root.size, MINI_SECTOR_SIZE)
        minifat_chain = self.regular_chain(self.first_minifat, self.minifat_count, "the mini FAT")
        minifat = []
        for number in minifat_chain:
            minifat.extend(self.words(number))
        if len(minifat) < mini_count:
            self.problems.append(f"mini FAT of {len(minifat)} entries for {mini_count} mini sectors")
        for number in range(mini_count, len(minifat)):
            if minifat[number] != FREESECT:
                self.problems.append(f"mini FAT entry {number} past the mini stream is {sector_name(minifat[number])}")
                break
        mini_owner = {}
        for entry in tree:
            if entry.type != STREAM:
                continue
            what = f"stream {entry.path!r}"
            if entry.size == 0:
                if entry.start != ENDOFCHAIN:
                    self.problems.append(f"{what}: empty, with start sector {sector_name(entry.start)}")
            elif entry.size >= MINI_CUTOFF:
                self.regular_chain(entry.start, self.sectors_for(entry.size), what)
            else:
                chain = self.follow(entry.start, minifat, mini_count, what + " in the mini stream")
                if len(chain) != ceil_div(entry.size, MINI_SECTOR_SIZE):
                    self.problems.append(f"{what}: mini chain of {len(chain)} mini sectors for {entry.size} bytes")
                for number in chain:
                    if number in mini_owner:
                        self.problems.append(f"mini sector {number} belongs to {mini_owner[number]} and to {what}")
                    mini_owner[number] = what
        leaked = [n for n in range(min(mini_count, len(minifat)))
                  if minifat[n] != FREESECT and n not in mini_owner]
        if leaked:
            self.problems.append(f"{len(leaked)} allocated mini sectors belong to nothing: {leaked[:8]}")

    def check(self):
        if not self.check_header():
            return self.problems
        self.check_difat()
        self.check_fat()
        entries = self.read_directory()
        tree = self.walk_tree(entries) if entries else []
        if tree:
            self.check_streams(tree)
        self.check_leaks()
        return self.problems


def check_structure(path, allow_tail=False):
    with open(path, "rb") as f:
        problems = CompoundFile(f.read(), allow_tail).check()
    if len(problems) > MAX_PROBLEMS:
        problems[MAX_PROBLEMS:] = [f"... and {len(problems) - MAX_PROBLEMS} more"]
    return [f"structure: {p}" for p in problems]


def check_with_olefile(path):
    try:
        import olefile
    except ImportError:
        return ["olefile: not installed (python3-olefile)"]
    try:
        with open(path, "rb") as file, olefile.OleFileIO(file, raise_defects=olefile.DEFECT_INCORRECT) as ole:
            for parts in ole.listdir(streams=True, storages=False):
                name = "/".join(parts)
                data = ole.openstream(parts).read()
                if len(data) != ole.get_size(parts):
                    return [f"olefile: {name!r} reads {len(data)} bytes of {ole.get_size(parts)}"]
    except Exception as error:  # noqa: BLE001 - any refusal is the finding
        return [f"olefile: {type(error).__name__}: {error}"]
    return []


def check_with_7zz(path):
    try:
        result = subprocess.run(["7zz", "t", "-bd", "-y", str(path)], capture_output=True, text=True,
                                errors="replace", timeout=300)
    except FileNotFoundError:
        return ["7zz: not installed"]
    lines = (result.stdout + result.stderr).splitlines()
    # 7-Zip names each finding on the lines after "ERRORS:" or "WARNINGS:".
    findings = {line for heading, line in zip(lines, lines[1:]) if heading in ("ERRORS:", "WARNINGS:") and line}
    # Its warning of free sectors at the end is no refusal: the system's
    # structured storage leaves them after a delete, and every reader reads on.
    findings.discard("There are data after the end of archive")
    if result.returncode != 0 or findings or "Everything is Ok" not in lines:
        said = sorted(findings) or [line for line in lines if "rror" in line] or lines[-1:]
        return [f"7zz t: exit {result.returncode}: {'; '.join(said)}"]
    return []


def check_file(path, allow_tail=False):
    """Every reader's problems with the file; empty when all accept it."""
    problems = check_structure(path, allow_tail)
    if not problems or not problems[0].startswith("structure: wrong signature"):
        problems += check_with_olefile(path) + check_with_7zz(path)
    return problems


def main(arguments):
    allow_tail = "--allow-tail" in arguments
    paths = [argument for argument in arguments if argument != "--allow-tail"]
    if not paths:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    refused = False
    for path in paths:
        for problem in check_file(path, allow_tail):
            print(f"{path}: {problem}")
            refused = True
    return 1 if refused else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
