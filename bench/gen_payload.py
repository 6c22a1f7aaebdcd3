#!/usr/bin/env python3
"""Generates the benchmark payload: a product-like folder tree from a fixed seed.

    gen_payload.py --size-mb 200 --out DIR [--seed N] [--blob DIR]

About 200 MB (10^6 bytes) in about 2,000 files for the default size; other
sizes scale both the bytes and the file count (20 MB gives about 200 files).
The shape: six large files holding 45 % of the bytes (three incompressible,
three compressible), the rest in many small files of log-normal sizes, half
of them text-like (compressible, about 4:1 with xz) and half random bytes
(incompressible, like media or compressed data). By bytes about half the
payload is compressible. Every file gets the same fixed modification time,
so that archives built from it are reproducible.

The same seed and size always give the same bytes (the generator uses only
Python's documented seeded Random). A stamp file in DIR skips the work when
the payload is already there. --blob additionally writes DIR/payload.index
(one "relative\\path<TAB>size" line per file, UTF-8) and DIR/payload.data (the
contents concatenated in that order): the input of the bench's write floor.
"""
import argparse
import hashlib
import os
import random
import sys

FORMAT_VERSION = "1"
FILE_TIME = 1767268800  # 2026-01-01 12:00:00 UTC
LARGE = [  # (share of the total bytes, compressible, name)
    (0.12, False, "media/intro.vid"),
    (0.09, True, "data/catalog.db"),
    (0.08, False, "media/sounds.pak"),
    (0.06, True, "bin/engine.dll"),
    (0.05, False, "media/textures.pak"),
    (0.05, True, "docs/manual.txt"),
]
TEXT_EXT = [".txt", ".xml", ".js", ".h", ".ini", ".html", ".json", ".css"]
BINARY_EXT = [".bin", ".png", ".dat", ".ogg", ".zip", ".jpg"]
TOP_FOLDERS = ["bin", "lib", "data", "docs", "media", "plugins", "locale", "res", "samples", "help",
               "tools", "templates"]


def make_vocabulary(rng):
    letters = "etaoinshrdlucmfwypvbgkjqxz"
    weights = [12, 9, 8, 7.5, 7, 6.7, 6.3, 6, 5.9, 4.3, 4, 2.8, 2.8, 2.4, 2.2, 2, 2, 1.9, 1.5, 1, 0.8, 0.8,
               0.15, 0.15, 0.1, 0.07]
    words = set()
    while len(words) < 6000:
        n = rng.choice([2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 8, 9, 10, 12])
        words.add("".join(rng.choices(letters, weights, k=n)))
    vocab = sorted(words)
    rng.shuffle(vocab)
    vocab += ["\n", "\n", "{", "}", "=", "();", "0x%02x" % rng.randrange(256), "return", "\t"]
    # Zipf-like: the k-th word is used about 1/k as often as the first.
    cum, total = [], 0.0
    for k in range(len(vocab)):
        total += 1.0 / (k + 1)
        cum.append(total)
    return vocab, cum


class Generator:
    def __init__(self, seed):
        self.rng = random.Random(seed)
        self.vocab, self.cum = make_vocabulary(self.rng)

    def text(self, size):
        parts, have = [], 0
        while have < size:
            words = self.rng.choices(self.vocab, cum_weights=self.cum, k=max(64, (size - have) // 5))
            piece = " ".join(words).encode("ascii")
            parts.append(piece)
            have += len(piece)
        return b"".join(parts)[:size]

    def random_bytes(self, size):
        return self.rng.randbytes(size)

    def contents(self, size, compressible):
        return self.text(size) if compressible else self.random_bytes(size)


def folder_tree(rng, count):
    folders = list(TOP_FOLDERS)
    while len(folders) < count:
        parent = rng.choice(folders)
        if parent.count("/") >= 4:
            continue
        folders.append("%s/%s%02d" % (parent, rng.choice(["mod", "pack", "set", "part", "group", "sub"]),
                                      rng.randrange(100)))
    return sorted(set(folders))


def plan(rng, size_bytes, file_count):
    """Returns [(relative path, size, compressible)] in a stable order."""
    files = [(name, int(share * size_bytes), comp) for share, comp, name in LARGE]
    small_total = size_bytes - sum(f[1] for f in files)
    small_count = max(1, file_count - len(files))
    raw = [rng.lognormvariate(0, 1.3) for _ in range(small_count)]
    scale = small_total / sum(raw)
    sizes = [max(1, int(r * scale)) for r in raw]
    sizes[-1] += small_total - sum(sizes)  # exact total
    folders = folder_tree(rng, max(20, small_count // 13))
    taken = {f[0] for f in files}
    for i, size in enumerate(sizes):
        comp = i % 2 == 0
        while True:
            ext = rng.choice(TEXT_EXT if comp else BINARY_EXT)
            name = "%s/f%04d_%s%s" % (rng.choice(folders), i, rng.choice(["core", "item", "view", "util", "res",
                                                                          "page", "map", "conf"]), ext)
            if name not in taken:
                break
        taken.add(name)
        files.append((name, max(1, size), comp))
    return files


def write_payload(out, size_mb, seed, blob):
    size_bytes = size_mb * 1000 * 1000
    file_count = max(20, round(2000 * size_mb / 200))
    gen = Generator(seed)
    files = plan(random.Random(seed + 1), size_bytes, file_count)
    digest = hashlib.sha256()
    index = data = None
    if blob:
        index = open(os.path.join(out, "payload.index.partial"), "w", encoding="utf-8", newline="\n")
        data = open(os.path.join(out, "payload.data.partial"), "wb")
    root = os.path.join(out, "files")
    for name, size, comp in files:
        body = gen.contents(size, comp)
        path = os.path.join(root, *name.split("/"))
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(body)
        os.utime(path, (FILE_TIME, FILE_TIME))
        digest.update(name.encode() + b"\0" + body)
        if blob:
            index.write("%s\t%d\n" % (name.replace("/", "\\"), size))
            data.write(body)
    if blob:
        index.close()
        data.close()
        os.replace(os.path.join(out, "payload.index.partial"), os.path.join(out, "payload.index"))
        os.replace(os.path.join(out, "payload.data.partial"), os.path.join(out, "payload.data"))
    compressible = sum(s for _, s, c in files if c)
    return len(files), sum(s for _, s, _ in files), compressible, digest.hexdigest()


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--size-mb", type=int, default=200)
    ap.add_argument("--seed", type=int, default=20261210)
    ap.add_argument("--out", required=True)
    ap.add_argument("--blob", action="store_true")
    a = ap.parse_args()
    if a.size_mb < 1:
        sys.exit("gen_payload: --size-mb must be at least 1")
    stamp_path = os.path.join(a.out, "stamp")
    wanted = "format=%s size_mb=%d seed=%d blob=%d" % (FORMAT_VERSION, a.size_mb, a.seed, a.blob)
    if os.path.exists(stamp_path):
        with open(stamp_path, encoding="utf-8") as f:
            lines = f.read().splitlines()
        if lines and lines[0] == wanted:
            print("payload: reused %s (%s)" % (a.out, " ".join(lines[1:])))
            return
    if os.path.isdir(a.out):
        import shutil
        shutil.rmtree(a.out)
    os.makedirs(a.out)
    count, total, comp, digest = write_payload(a.out, a.size_mb, a.seed, a.blob)
    summary = "files=%d bytes=%d compressible_bytes=%d sha256=%s" % (count, total, comp, digest)
    with open(stamp_path, "w", encoding="utf-8") as f:
        f.write(wanted + "\n" + summary + "\n")
    print("payload: generated %s (%s)" % (a.out, summary))


if __name__ == "__main__":
    main()
