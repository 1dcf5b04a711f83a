"""File size after a long run of random edits through the plug-in, against a
fresh write of the same content. The first half of the steps mostly adds
and replaces streams, the second half mostly deletes them, so the archive
ends far smaller than it once was: what the file keeps of its old size is
what a user is left with.

  editing.py WCXHOST DIR STEPS   prints one JSON object
"""
import filecmp
import json
import os
import random
import shutil
import subprocess
import sys


def run(host, cwd, *args):
    subprocess.run([host, *args], cwd=cwd, check=True, stdout=subprocess.DEVNULL)


def stream_size(rng):
    draw = rng.random()
    if draw < 0.70:
        return rng.randint(1 << 10, 64 << 10)
    if draw < 0.95:
        return rng.randint(64 << 10, 1 << 20)
    return rng.randint(2 << 20, 5 << 20)


def main(host, root, steps):
    rng = random.Random(16)
    shutil.rmtree(root, ignore_errors=True)
    content = os.path.join(root, "content")
    os.makedirs(content)
    archive = os.path.join(root, "edited.doc")
    names = ["s%02d.bin" % i for i in range(40)]
    present = set()
    peak = 0
    for step in range(steps):
        adding = rng.random() < (0.8 if step < steps // 2 else 0.2)
        if adding or len(present) <= 8:
            name = rng.choice(names)
            with open(os.path.join(content, name), "wb") as f:
                f.write(rng.randbytes(stream_size(rng)))
            run(host, content, "add", archive, name)
            present.add(name)
        else:
            name = rng.choice(sorted(present))
            run(host, content, "delete", archive, name)
            os.remove(os.path.join(content, name))
            present.discard(name)
        held = sum(os.path.getsize(os.path.join(content, n)) for n in present)
        peak = max(peak, held)

    fresh = os.path.join(root, "fresh.doc")
    run(host, content, "add", fresh, *sorted(present))
    # The measurement is only worth something if the edited file is whole.
    out = os.path.join(root, "extracted")
    run(host, root, "extract", archive, "-C", out)
    same = not filecmp.dircmp(content, out).diff_files and sorted(os.listdir(out)) == sorted(present)
    result = {
        "steps": steps,
        "streams": len(present),
        "content_bytes": held,
        "peak_content_bytes": peak,
        "edited_bytes": os.path.getsize(archive),
        "fresh_bytes": os.path.getsize(fresh),
        "content_intact": same,
    }
    print(json.dumps(result))


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2], int(sys.argv[3]))
