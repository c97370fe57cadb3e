#!/usr/bin/python3
"""Prints a compound file's tree as olefile reads it, one line per element:
"path kind size clsid hash", the same form as the C++ tests' Dump()."""
import sys

import olefile


def name_text(name):
    out = []
    for ch in name:
        c = ord(ch)
        if 0x20 <= c < 0x7F and ch not in "\\/":
            out.append(ch)
        elif c < 0x100:
            out.append("\\x%02x" % c)
        else:
            out.append("\\u%04x" % c)
    return "".join(out)


def fnv(data):
    h = 1469598103934665603
    for b in data:
        h = ((h ^ b) * 1099511628211) & 0xFFFFFFFFFFFFFFFF
    return h


def main():
    ole = olefile.OleFileIO(sys.argv[1])
    lines = []
    for path in ole.listdir(streams=True, storages=True):
        text = "/".join(name_text(p) for p in path)
        if ole.get_type(path) == olefile.STGTY_STREAM:
            data = ole.openstream(path).read()
            lines.append("%s T %d %s %016x" % (text, len(data), "00000000-0000-0000-0000-000000000000", fnv(data)))
        else:
            clsid = ole.getclsid(path) or "00000000-0000-0000-0000-000000000000"
            lines.append("%s S 0 %s 0" % (text, clsid.upper()))
    lines.sort()
    sys.stdout.write("".join(l + "\n" for l in lines))


main()
