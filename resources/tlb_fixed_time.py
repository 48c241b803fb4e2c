#!/usr/bin/env python3
"""Gives a type library made by widl a fixed time, so that the same source
gives the same bytes (this widl does not read SOURCE_DATE_EPOCH).

widl writes the time it ran twice into the library's custom data: as text,
"Created by WIDL version V at <ctime>", and as its number of seconds (a
VT_UI4 value). Both become 1 January 1970 00:00:00, the text keeping its
length so that nothing else moves.

Usage: tlb_fixed_time.py FILE   (rewritten in place)
"""
import re
import struct
import sys
import time

FIXED_TEXT = b"Thu Jan  1 00:00:00 1970"
VT_UI4 = 0x13


def main(path):
    data = bytearray(open(path, "rb").read())
    match = re.search(rb"Created by WIDL version [^\0]*? at ([A-Z][a-z]{2} [A-Z][a-z]{2} [ \d]\d \d\d:\d\d:\d\d \d{4})",
                      bytes(data))
    if not match:
        print("tlb_fixed_time: %s: no \"Created by WIDL\" time found" % path, file=sys.stderr)
        return 1
    stamp = match.group(1)
    seconds = int(time.mktime(time.strptime(stamp.decode("ascii"), "%a %b %d %H:%M:%S %Y")))
    data[match.start(1):match.end(1)] = FIXED_TEXT.ljust(len(stamp))
    value = struct.pack("<HI", VT_UI4, seconds & 0xFFFFFFFF)
    at = data.find(value, match.end(1))
    if at < 0:
        print("tlb_fixed_time: %s: the time %s is not in the custom data as a number" % (path, stamp.decode()),
              file=sys.stderr)
        return 1
    data[at + 2:at + 6] = struct.pack("<I", 0)
    open(path, "wb").write(data)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
