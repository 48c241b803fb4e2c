#!/usr/bin/env python3
"""Converts the 24-bit BMP screenshots a GUI test wrote into PNG files.
Usage: bmp_to_png.py FROM_DIR TO_DIR; fails when there is none."""
import glob
import os
import struct
import sys
import zlib


def convert(src, dst):
    data = open(src, "rb").read()
    offset = struct.unpack_from("<I", data, 10)[0]
    width, height = struct.unpack_from("<ii", data, 18)
    bits = struct.unpack_from("<H", data, 28)[0]
    if bits != 24:
        raise ValueError(f"{src}: {bits} bits per pixel")
    stride = (width * 3 + 3) // 4 * 4
    rows = []
    for y in range(abs(height)):
        row_index = abs(height) - 1 - y if height > 0 else y
        row = data[offset + row_index * stride: offset + row_index * stride + width * 3]
        rgb = bytearray(len(row))
        rgb[0::3], rgb[1::3], rgb[2::3] = row[2::3], row[1::3], row[0::3]
        rows.append(b"\0" + bytes(rgb))

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))

    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, abs(height), 8, 2, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(b"".join(rows), 9)) + chunk(b"IEND", b"")
    open(dst, "wb").write(png)


def main():
    src_dir, dst_dir = sys.argv[1], sys.argv[2]
    os.makedirs(dst_dir, exist_ok=True)
    shots = sorted(glob.glob(os.path.join(src_dir, "*.bmp")))
    if not shots:
        sys.exit("bmp_to_png: no screenshot was taken")
    for src in shots:
        dst = os.path.join(dst_dir, os.path.basename(src)[:-4] + ".png")
        convert(src, dst)
        print(f"screenshot: {dst}")


if __name__ == "__main__":
    main()
