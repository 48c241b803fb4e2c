#!/usr/bin/env python3
"""Writes the control's 16-colour pictures: the 16 x 15 toolbox bitmap and
the module icon (32 x 32 and 16 x 16). Usage: make_images.py OUT_DIR"""
import struct
import sys

# The standard 16-colour VGA palette, as BGRX.
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
    (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
    (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
WHITE, BLUE, DARK_BLUE, YELLOW, BLACK = 15, 12, 4, 11, 0


def palette_bytes():
    return b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)


def picture(width, height):
    """A white card with a blue seal and a yellow pen stroke: 'signing'."""
    rows = []
    for y in range(height):
        row = []
        for x in range(width):
            cx, cy, r = width * 0.4, height * 0.55, min(width, height) * 0.3
            d = ((x - cx) ** 2 + (y - cy) ** 2) ** 0.5
            if x in (0, width - 1) or y in (0, height - 1):
                row.append(DARK_BLUE)
            elif d <= r * 0.6:
                row.append(BLUE)
            elif d <= r:
                row.append(DARK_BLUE)
            elif abs((width - 1 - x) - (y - 1)) <= max(1, width // 16) and x > width // 2:
                row.append(YELLOW)
            else:
                row.append(WHITE)
        rows.append(row)
    return rows


def pixels_4bpp(rows):
    """Bottom-up rows of 4-bit pixels, each row padded to 4 bytes."""
    out = b""
    for row in reversed(rows):
        packed = bytes((row[i] << 4) | (row[i + 1] if i + 1 < len(row) else 0)
                       for i in range(0, len(row), 2))
        out += packed + b"\0" * ((4 - len(packed) % 4) % 4)
    return out


def info_header(width, height, image_bytes):
    return struct.pack("<IiiHHIIiiII", 40, width, height, 1, 4, 0, image_bytes, 0, 0, 16, 0)


def bitmap(width, height):
    pixels = pixels_4bpp(picture(width, height))
    dib = info_header(width, height, len(pixels)) + palette_bytes() + pixels
    return struct.pack("<2sIHHI", b"BM", 14 + len(dib), 0, 0, 14 + 40 + 64) + dib


def icon_image(size):
    pixels = pixels_4bpp(picture(size, size))
    mask_row = ((size + 31) // 32) * 4
    mask = b"\0" * (mask_row * size)  # fully opaque
    return info_header(size, size * 2, len(pixels) + len(mask)) + palette_bytes() + pixels + mask


def icon(sizes):
    images = [icon_image(s) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for s, img in zip(sizes, images):
        out += struct.pack("<BBBBHHII", s % 256, s % 256, 16, 0, 1, 4, len(img), offset)
        offset += len(img)
    return out + b"".join(images)


def main():
    out = sys.argv[1]
    with open(f"{out}/Tessarn.bmp", "wb") as f:
        f.write(bitmap(16, 15))
    with open(f"{out}/Tessarn.ico", "wb") as f:
        f.write(icon([32, 16]))


if __name__ == "__main__":
    main()
