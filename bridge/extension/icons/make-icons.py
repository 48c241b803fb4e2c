#!/usr/bin/env python3
"""Draws the extension's icons (icon-16/32/48/128.png) with the standard
library alone: a dark blue rounded square holding a white "T" over a
signature line. Run it again after changing the drawing; the PNG files are
kept in the repository."""
import os
import struct
import zlib

BLUE = (24, 62, 120)
WHITE = (255, 255, 255)
GOLD = (232, 176, 48)


def inside_rounded_square(x, y, r):
    # unit coordinates 0..1; corner radius r
    cx = min(max(x, r), 1 - r)
    cy = min(max(y, r), 1 - r)
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def colour_at(x, y):
    if not inside_rounded_square(x, y, 0.2):
        return None
    # the T: bar and stem
    if 0.22 <= x <= 0.78 and 0.2 <= y <= 0.34:
        return WHITE
    if 0.42 <= x <= 0.58 and 0.2 <= y <= 0.7:
        return WHITE
    # the signature line
    if 0.2 <= x <= 0.8 and 0.76 <= y <= 0.84:
        return GOLD
    return BLUE


def render(size, samples=4):
    rows = []
    for py in range(size):
        row = bytearray([0])  # filter type: none
        for px in range(size):
            acc = [0, 0, 0, 0]
            for sy in range(samples):
                for sx in range(samples):
                    c = colour_at((px + (sx + 0.5) / samples) / size, (py + (sy + 0.5) / samples) / size)
                    if c:
                        acc[0] += c[0]; acc[1] += c[1]; acc[2] += c[2]; acc[3] += 255
            n = samples * samples
            a = acc[3] / n
            if a:
                cover = acc[3] / 255
                row += bytes([round(acc[0] / cover), round(acc[1] / cover), round(acc[2] / cover), round(a)])
            else:
                row += bytes(4)
        rows.append(bytes(row))
    return png(size, b"".join(rows))


def png(size, raw):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)  # 8-bit RGBA
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")


if __name__ == "__main__":
    here = os.path.dirname(os.path.abspath(__file__))
    for size in (16, 32, 48, 128):
        with open(os.path.join(here, "icon-%d.png" % size), "wb") as f:
            f.write(render(size))
