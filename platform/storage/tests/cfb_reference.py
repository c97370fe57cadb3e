#!/usr/bin/python3
"""Hand-built compound files from [MS-CFB], independent of the library, and a checker of the
directory trees in files the library writes.

  cfb_reference.py build OUTDIR   writes ref_v3.cfb, ref_v4.cfb, ref_difat.cfb
  cfb_reference.py check FILE     verifies every sibling tree is a valid red-black tree
                                  ordered as the format requires; prints "ok" or the fault
"""
import struct
import sys

ENDOFCHAIN, FREESECT, FATSECT, DIFSECT, NOSTREAM = 0xFFFFFFFE, 0xFFFFFFFF, 0xFFFFFFFD, 0xFFFFFFFC, 0xFFFFFFFF


def guid(text):
    a, b, c, d, e = text.split("-")
    return struct.pack("<IHH", int(a, 16), int(b, 16), int(c, 16)) + bytes.fromhex(d + e)


def key(name):
    return (len(name), [ord(ch.upper()) if len(ch.upper()) == 1 else ord(ch) for ch in name])


def pattern(n, seed):
    out = bytearray(n)
    x = (seed * 2654435761 + 1) & 0xFFFFFFFF
    for i in range(n):
        x ^= (x << 13) & 0xFFFFFFFF
        x ^= x >> 17
        x ^= (x << 5) & 0xFFFFFFFF
        out[i] = x & 0xFF
    return bytes(out)


# A tree: (name, clsid or None, [children]) for storages, (name, bytes) for streams.
TREE = ("Root Entry", "56616700-C154-11CE-8553-00AA00A1F95B", [
    ("\x05SummaryInformation", pattern(300, 1)),
    ("\x01CompObj", pattern(0, 2)),
    ("Big", pattern(10000, 3)),
    ("Other big", pattern(6000, 4)),
    ("Data Object Store 000001", "56616000-C154-11CE-8553-00AA00A1F95B", [
        ("Resolution 0000", "56616100-C154-11CE-8553-00AA00A1F95B", [
            ("Subimage 0000 Header", pattern(64, 5)),
            ("Subimage 0000 Data", pattern(4096, 6)),
        ]),
        ("a", pattern(4095, 7)),
        ("B", pattern(1, 8)),
        ("c", pattern(65, 9)),
    ]),
])


def build(version, interleave=False, extra_fat=0):
    ss = 512 if version == 3 else 4096
    entries = []  # [name, type, clsid, data, child_ids]

    def add(node):
        idx = len(entries)
        if len(node) == 2:
            entries.append([node[0], 2, None, node[1], []])
        else:
            entries.append([node[0], 5 if idx == 0 else 1, node[1], None, []])
            kids = [add(c) for c in node[2]]
            entries[idx][4] = kids
        return idx

    add(TREE)
    # Mini stream.
    mini, minifat, starts = bytearray(), [], {}
    for i, e in enumerate(entries):
        if e[1] == 2 and 0 < len(e[3]) < 4096:
            n = (len(e[3]) + 63) // 64
            first = len(minifat)
            minifat += [first + k + 1 for k in range(n - 1)] + [ENDOFCHAIN]
            starts[i] = first
            mini += e[3] + bytes(n * 64 - len(e[3]))
    sectors, fat = [], []

    def alloc(chunks_list):
        """Allocates chains for several byte strings; interleaved round robin when asked."""
        chains = [[] for _ in chunks_list]
        pieces = [[b[k:k + ss] for k in range(0, len(b), ss)] for b in chunks_list]
        if interleave:
            order = []
            for r in range(max((len(p) for p in pieces), default=0)):
                for ci, p in enumerate(pieces):
                    if r < len(p):
                        order.append((ci, p[r]))
        else:
            order = [(ci, piece) for ci, p in enumerate(pieces) for piece in p]
        for ci, piece in order:
            chains[ci].append(len(sectors))
            sectors.append(piece + bytes(ss - len(piece)))
            fat.append(None)
        for ch in chains:
            for a, b in zip(ch, ch[1:] + [ENDOFCHAIN]):
                fat[a] = b
        return [ch[0] if ch else ENDOFCHAIN for ch in chains]

    big = [i for i, e in enumerate(entries) if e[1] == 2 and len(e[3]) >= 4096]
    firsts = alloc([bytes(mini)] + [entries[i][3] for i in big])
    mini_first = firsts[0]
    for i, f in zip(big, firsts[1:]):
        starts[i] = f
    minifat_bytes = b"".join(struct.pack("<I", v) for v in minifat)
    minifat_bytes += b"\xff" * ((-len(minifat_bytes)) % ss)
    minifat_first = alloc([minifat_bytes])[0] if minifat else ENDOFCHAIN

    # Sibling trees: a right-leaning chain of black entries, sorted; a reader must not
    # depend on balance.
    links = {}
    for i, e in enumerate(entries):
        kids = sorted(e[4], key=lambda k: key(entries[k][0]))
        for a, b in zip(kids, kids[1:] + [NOSTREAM]):
            links[a] = (NOSTREAM, b)
        e.append(kids[0] if kids else NOSTREAM)
    dir_bytes = bytearray()
    for i, e in enumerate(entries):
        name = e[0].encode("utf-16-le")
        rec = name + bytes(64 - len(name))
        rec += struct.pack("<HBB", len(name) + 2, e[1], 1)
        left, right = links.get(i, (NOSTREAM, NOSTREAM))
        rec += struct.pack("<III", left, right, e[5])
        rec += guid(e[2]) if e[2] else bytes(16)
        rec += struct.pack("<I", 0) + bytes(16)
        if i == 0:
            rec += struct.pack("<IQ", mini_first if mini else ENDOFCHAIN, len(mini))
        elif e[1] == 2:
            rec += struct.pack("<IQ", starts.get(i, ENDOFCHAIN), len(e[3]))
        else:
            rec += struct.pack("<IQ", 0, 0)
        dir_bytes += rec
    while len(dir_bytes) % ss:
        dir_bytes += bytes(64) + struct.pack("<HBBIII", 0, 0, 0, NOSTREAM, NOSTREAM, NOSTREAM) + bytes(52)
    dir_first = alloc([bytes(dir_bytes)])[0]

    per = ss // 4
    nfat = 0
    ndifat = 0
    while True:
        total = len(sectors) + nfat + ndifat
        need = (total + per - 1) // per + extra_fat
        needd = max(0, (need - 109 + per - 2) // (per - 1)) if need > 109 else 0
        if need == nfat and needd == ndifat:
            break
        nfat, ndifat = need, needd
    fat_first = len(sectors)
    difat_first = fat_first + nfat
    fat += [FATSECT] * nfat + [DIFSECT] * ndifat
    fat = [FREESECT if v is None else v for v in fat]
    fat += [FREESECT] * (nfat * per - len(fat))
    fat_bytes = b"".join(struct.pack("<I", v) for v in fat)
    for k in range(nfat):
        sectors.append(fat_bytes[k * ss:(k + 1) * ss])
    fat_ids = list(range(fat_first, fat_first + nfat))
    for k in range(ndifat):
        ids = fat_ids[109 + k * (per - 1):109 + (k + 1) * (per - 1)]
        ids += [FREESECT] * (per - 1 - len(ids))
        nxt = difat_first + k + 1 if k + 1 < ndifat else ENDOFCHAIN
        sectors.append(b"".join(struct.pack("<I", v) for v in ids + [nxt]))

    hdr = bytes.fromhex("D0CF11E0A1B11AE1") + bytes(16)
    hdr += struct.pack("<HHHHH", 0x3E, version, 0xFFFE, 9 if version == 3 else 12, 6) + bytes(6)
    hdr += struct.pack("<IIIIIIIII", 0 if version == 3 else len(dir_bytes) // ss, nfat, dir_first, 0,
                       4096, minifat_first, len(minifat_bytes) // ss, difat_first if ndifat else ENDOFCHAIN, ndifat)
    difat = fat_ids[:109] + [FREESECT] * (109 - min(109, nfat))
    hdr += b"".join(struct.pack("<I", v) for v in difat)
    hdr += bytes(ss - len(hdr))
    return hdr + b"".join(sectors)


def check(path):
    data = open(path, "rb").read()
    ss = 1 << struct.unpack_from("<H", data, 30)[0]
    nfat = struct.unpack_from("<I", data, 44)[0]
    difat = list(struct.unpack_from("<109I", data, 76))[:nfat]
    nxt = struct.unpack_from("<I", data, 68)[0]
    while len(difat) < nfat:
        sec = struct.unpack_from("<%dI" % (ss // 4), data, (nxt + 1) * ss)
        difat += list(sec[:-1])[:nfat - len(difat)]
        nxt = sec[-1]
    fat = []
    for s in difat:
        fat += struct.unpack_from("<%dI" % (ss // 4), data, (s + 1) * ss)
    s = struct.unpack_from("<I", data, 48)[0]
    dirb = b""
    while s != ENDOFCHAIN:
        dirb += data[(s + 1) * ss:(s + 2) * ss]
        s = fat[s]
    ents = []
    for off in range(0, len(dirb), 128):
        nl = struct.unpack_from("<H", dirb, off + 64)[0]
        name = dirb[off:off + max(0, nl - 2)].decode("utf-16-le")
        t, color, l, r, c = struct.unpack_from("<BBIII", dirb, off + 66)
        ents.append((name, t, color, l, r, c))
    if ents[0][1] != 5:
        return "entry 0 is not the root"

    def walk(i, lo, hi):
        """Returns the black height of the subtree at i, checking order and colours."""
        if i == NOSTREAM:
            return 1
        name, t, color, l, r, c = ents[i]
        if lo is not None and not key(lo) < key(name):
            raise ValueError("order: %r after %r" % (name, lo))
        if hi is not None and not key(name) < key(hi):
            raise ValueError("order: %r before %r" % (name, hi))
        for k in (l, r):
            if color == 0 and k != NOSTREAM and ents[k][2] == 0:
                raise ValueError("red entry %r has a red child" % name)
        hl, hr = walk(l, lo, name), walk(r, name, hi)
        if hl != hr:
            raise ValueError("black heights differ under %r" % name)
        if c != NOSTREAM:
            top = ents[c]
            if top[2] != 1:
                raise ValueError("tree under %r starts red" % name)
            walk(c, None, None)
        return hl + (1 if color == 1 else 0)

    try:
        walk(ents[0][5], None, None)
    except ValueError as e:
        return str(e)
    return "ok"


def main():
    if sys.argv[1] == "build":
        out = sys.argv[2]
        open(out + "/ref_v3.cfb", "wb").write(build(3, interleave=True))
        open(out + "/ref_v4.cfb", "wb").write(build(4))
        open(out + "/ref_difat.cfb", "wb").write(build(3, extra_fat=120))
    else:
        print(check(sys.argv[2]))


main()
