#!/usr/bin/env python3
"""Every time stamp a PE file carries is the fixed one (0): the file header's,
and those of the export, resource and debug directories. A build that wrote
the time of its link there would give different bytes for the same source.

Usage: pe_timestamps.py FILE...
"""
import struct
import sys

EXPORT, RESOURCE, DEBUG = 0, 2, 6


def stamps(path):
    data = open(path, "rb").read()
    (pe,) = struct.unpack_from("<I", data, 0x3C)
    if data[pe:pe + 4] != b"PE\0\0":
        raise ValueError("not a PE file")
    machine, sections, stamp, _, _, optional_size, _ = struct.unpack_from("<HHIIIHH", data, pe + 4)
    found = [("file header", stamp)]
    optional = pe + 24
    magic = struct.unpack_from("<H", data, optional)[0]
    directories = optional + (112 if magic == 0x20B else 96)
    section_table = optional + optional_size

    def offset_of(rva):
        for i in range(sections):
            _, vsize, vaddr, rsize, raw = struct.unpack_from("<8sIIII", data, section_table + 40 * i)
            if vaddr <= rva < vaddr + max(vsize, rsize):
                return raw + rva - vaddr
        raise ValueError("RVA 0x%x is in no section" % rva)

    def directory(index):
        return struct.unpack_from("<II", data, directories + 8 * index)

    rva, size = directory(EXPORT)
    if size:
        found.append(("export directory", struct.unpack_from("<I", data, offset_of(rva) + 4)[0]))
    rva, size = directory(RESOURCE)
    if size:
        found.append(("resource directory", struct.unpack_from("<I", data, offset_of(rva) + 4)[0]))
    rva, size = directory(DEBUG)
    for i in range(size // 28):
        found.append(("debug directory %d" % i, struct.unpack_from("<I", data, offset_of(rva) + 28 * i + 4)[0]))
    return found


def main(paths):
    failures = 0
    for path in paths:
        for where, stamp in stamps(path):
            if stamp != 0:
                print("pe_timestamps: FAIL: %s: the %s's time stamp is 0x%08x, not the fixed 0" % (path, where, stamp))
                failures += 1
            else:
                print("pe_timestamps: %s: %s 0" % (path, where))
    return 1 if failures or not paths else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
