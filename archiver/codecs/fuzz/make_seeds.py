#!/usr/bin/env python3
"""Writes the seed corpora of the decoder fuzz targets.

Seeds are the raw member data of the outside test archives (small members whole, large
ones cut short, which also seeds the truncated paths) and raw deflate streams made by
zlib, each behind the small header its fuzz target reads (see the targets' sources).

    make_seeds.py TESTDATA_ZIP_DIR OUTPUT_CORPUS_DIR
"""
import os
import random
import struct
import sys
import zipfile
import zlib

MAX_SEED = 12000


def members(path):
    """(method, flags, usize, raw data) of each unencrypted member."""
    raw = open(path, "rb").read()
    with zipfile.ZipFile(path) as z:
        for info in z.infolist():
            if info.flag_bits & 1:
                continue
            off = info.header_offset
            if raw[off:off + 4] != b"PK\x03\x04":
                continue
            nlen, xlen = struct.unpack("<HH", raw[off + 26:off + 30])
            start = off + 30 + nlen + xlen
            yield info.compress_type, info.flag_bits, info.file_size, raw[start:start + info.compress_size]


def write(out, target, name, data):
    d = os.path.join(out, target)
    os.makedirs(d, exist_ok=True)
    with open(os.path.join(d, name), "wb") as f:
        f.write(data)


def main():
    src, out = sys.argv[1], sys.argv[2]
    for fname in sorted(os.listdir(src)):
        if not fname.endswith(".zip"):
            continue
        stem = fname[:-4]
        for i, (method, flags, usize, data) in enumerate(members(os.path.join(src, fname))):
            if not data:
                continue
            data = data[:MAX_SEED]
            size24 = struct.pack("<I", min(usize, 0xFFFFFF))[:3]
            name = f"{stem}-{i}"
            if method == 8:
                write(out, "inflate_fuzz", name, bytes([0]) + data)
            elif method == 1:
                write(out, "unshrink_fuzz", name, bytes([0]) + data)
            elif 2 <= method <= 5:
                write(out, "unreduce_fuzz", name, bytes([(method - 2) << 2]) + size24 + data)
            elif method == 6:
                write(out, "explode_fuzz", name, bytes([(flags & 6) << 2]) + size24 + data)
    rng = random.Random(1)
    words = [b"archive ", b"member ", b"window ", b"the ", b"block\n", b"code ", b"\x00\x01\x02"]
    text = b"".join(rng.choice(words) for _ in range(3000))
    binary = bytes(rng.randrange(256) for _ in range(3000)) + bytes(2000) + text[:3000]
    for level, strategy, sname in [(1, zlib.Z_DEFAULT_STRATEGY, "l1"), (6, zlib.Z_DEFAULT_STRATEGY, "l6"),
                                   (9, zlib.Z_DEFAULT_STRATEGY, "l9"), (6, zlib.Z_FILTERED, "filtered"),
                                   (6, zlib.Z_HUFFMAN_ONLY, "huffman"), (6, zlib.Z_RLE, "rle"),
                                   (6, zlib.Z_FIXED, "fixed"), (0, zlib.Z_DEFAULT_STRATEGY, "stored")]:
        for dname, d in (("text", text), ("binary", binary)):
            c = zlib.compressobj(level, zlib.DEFLATED, -15, 8, strategy)
            stream = c.compress(d) + c.flush()
            write(out, "inflate_fuzz", f"zlib-{sname}-{dname}", bytes([level & 3]) + stream[:MAX_SEED])


if __name__ == "__main__":
    main()
