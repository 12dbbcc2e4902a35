#!/usr/bin/env python3
"""Deterministic benchmark data for compare.sh (stdlib only).

  gendata.py small  DIR            5,000 files of 1-16 KiB in 100 folders, depth <= 5
  gendata.py large  DIR            8 files of 40-160 MiB, 800 MiB (839 MB) in total
  gendata.py wan    DIR            500 files of 1-64 KiB in 20 folders (for the
                                   step across a delayed link)
  gendata.py tiny   DIR            100,000 files of 0.5-1.1 KB in 100 folders
  gendata.py tiny10k DIR           the first 10,000 of those (for the growth ratio)
  gendata.py names  DIR            322 files of 0-64 KiB in 20 folders; names with
                                   spaces, quotes, unicode (NFC and NFD), a tab,
                                   leading/trailing spaces, %, #, [ ], & ...
  gendata.py mutate DIR PCT GEN [append|inplace]
        change ceil(PCT% of the files) of DIR (the same files every time, new
        bytes for every GEN) and print their paths relative to DIR.
        append: add 1-64 bytes (size and mtime change); inplace: overwrite
        4 KiB in the middle (only content and mtime change).

Same arguments -> same tree and bytes on every machine (Mersenne Twister,
stable across Python 3.9+).
"""
import math
import os
import random
import sys

CHUNK = 8 << 20


def write_random(path, size, rng):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        left = size
        while left:
            n = min(left, CHUNK)
            f.write(rng.randbytes(n))
            left -= n


def make_dirs(rng, count, max_depth, name_of):
    """Return `count` relative folder paths forming one random tree."""
    dirs = [""]          # "" = job root; depth(root) = 0
    depth = {"": 0}
    while len(dirs) < count + 1:
        parent = rng.choice([d for d in dirs if depth[d] < max_depth])
        child = os.path.join(parent, name_of(len(dirs)))
        if child not in depth:
            dirs.append(child)
            depth[child] = depth[parent] + 1
    return dirs


def gen_spread(root, seed, folders, depth, folder, count, name, low, high):
    """count random files of low-high bytes, each in one of the folders at random."""
    rng = random.Random(seed)
    dirs = make_dirs(rng, folders, depth, folder)
    for i in range(count):
        d = rng.choice(dirs)
        write_random(os.path.join(root, d, name(i)), rng.randint(low, high), rng)


def gen_small(root):
    gen_spread(root, 1, 100, 5, lambda i: f"dir{i:03d}", 5000, lambda i: f"file{i:05d}.dat", 1024, 16384)


def gen_wan(root):
    gen_spread(root, 5, 20, 3, lambda i: f"album{i:02d}", 500, lambda i: f"img{i:04d}.jpg", 1024, 65536)


def gen_tiny(root, count=100000):
    rng = random.Random(4)
    dirs = make_dirs(rng, 100, 5, lambda i: f"dir{i:03d}")
    for i in range(count):
        d = dirs[i % len(dirs)]
        path = os.path.join(root, d, f"t{i:06d}.txt")
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(rng.randbytes(rng.randint(500, 1100)))


def gen_large(root):
    rng = random.Random(2)
    mib = [40, 60, 80, 100, 100, 120, 140, 160]          # 800 MiB
    for i, m in enumerate(mib):
        sub = "images" if i % 2 else "video"
        write_random(os.path.join(root, sub, f"big{i}.bin"), m << 20, rng)


# Names a Windows user plausibly has; plus a few that are legal on Linux only.
NAME_DIRS = [
    "My Documents", "Rapport d'activité 2024", "O'Brien's files", "Übersicht & Änderungen",
    "日本語のフォルダ", "Фотографии", "música/canções", "emoji 📁 stuff", "100% done",
    "[brackets] (parens) {braces}", "semi;colon,comma", "#hash $dollar @at", "ÅÄÖ/ñandú/ĳssel",
    "dash -leading", "  two leading spaces", "tab\tinside", "Ελληνικά",
]
NAME_FILES = [
    "read me.txt", "it's here.doc", "naïve café.pdf", "Ünïcödé façade.xlsx", "ファイル.txt",
    "файл с пробелами.txt", "🎉 party.jpg", "a&b=c+d.txt", "50% off!.txt", "quote \"double\".txt",
    "back`tick`.txt", "x~y^z.txt", "résumé (final) [v2].docx", "中文 文件.txt", "-dash-first.txt",
    " leading space.txt", "trailing dot.", "ends with space ", "multi.dot.name.tar.gz",
    "UPPER lower.TXT", "très_long_" + "é" * 60 + ".txt",
    "decomposed-e\u0301.txt",   # NFD: 'e' + combining acute (what macOS would write)
]


def gen_names(root):
    rng = random.Random(3)
    for di, d in enumerate(NAME_DIRS):
        for fi, f in enumerate(NAME_FILES):
            if (di + fi) % 5 == 4:                 # ~80% of the combinations
                continue
            write_random(os.path.join(root, d, f), rng.randint(1, 64 << 10), rng)
    for f in NAME_FILES:                            # and all of them at the root
        write_random(os.path.join(root, f), rng.randint(1, 64 << 10), rng)


def all_files(root):
    out = []
    for dp, dn, fn in os.walk(root):
        dn.sort()
        out += [os.path.join(dp, f) for f in sorted(fn)]
    return out


def mutate(root, pct, gen, mode="append"):
    files = all_files(root)
    n = max(1, math.ceil(len(files) * pct / 100))
    chosen = random.Random(4).sample(files, n)      # same files each generation
    rng = random.Random(1000 + gen)                 # new bytes each generation
    for p in chosen:
        if mode == "append":
            with open(p, "ab") as f:
                f.write(rng.randbytes(rng.randint(1, 64)))
        elif mode == "inplace":
            size = os.path.getsize(p)
            k = min(4096, size)
            with open(p, "r+b") as f:
                f.seek((size - k) // 2)
                f.write(rng.randbytes(k))
        else:
            sys.exit(f"unknown mutate mode {mode}")
        print(os.path.relpath(p, root))


def main(argv):
    if len(argv) < 3:
        sys.exit(__doc__)
    cmd, root = argv[1], argv[2]
    if cmd == "mutate":
        mutate(root, float(argv[3]), int(argv[4]), argv[5] if len(argv) > 5 else "append")
        return
    if os.path.exists(root) and os.listdir(root):
        sys.exit(f"{root} exists and is not empty")
    {"small": gen_small, "large": gen_large, "tiny": gen_tiny, "tiny10k": lambda r: gen_tiny(r, 10000), "names": gen_names, "wan": gen_wan}[cmd](root)


if __name__ == "__main__":
    main(sys.argv)
