#!/usr/bin/env python3
"""Writes ui/resources/kestrelon.ico: the engine's icon (resource 1) at 16, 24,
32 and 48 pixels, drawn here so that no outside art is needed.

Each image is a 32-bit DIB with alpha plus the 1-bit AND mask that systems
without alpha icons use. The picture is a blue disc with a white arrow pointing
down into a tray: "install". Run from the repository root:
    python3 scripts/make_icon.py
"""
import math
import struct
import sys

SIZES = (16, 24, 32, 48)
SUPERSAMPLE = 4


def coverage(x, y):
    """Colour and alpha of the picture at (x, y) in a 0..1 square."""
    cx, cy = x - 0.5, y - 0.5
    r = math.hypot(cx, cy)
    if r > 0.48:
        return None
    white = (255, 255, 255)
    # arrow shaft and head
    if abs(cx) < 0.07 and -0.30 < cy < 0.05:
        return white
    if -0.02 < cy < 0.17 and abs(cx) < (0.17 - cy) * 1.1:
        return white
    # tray: a U below the arrow
    if 0.20 < cy < 0.28 and abs(cx) < 0.28:
        return white
    if 0.08 < cy < 0.28 and 0.20 < abs(cx) < 0.28:
        return white
    # the disc: lighter at the top
    t = (cy + 0.5)
    return (int(40 + 20 * (1 - t)), int(110 + 60 * (1 - t)), int(190 + 50 * (1 - t)))


def render(size):
    """Rows of (b, g, r, a) from the top, by supersampling."""
    rows = []
    n = SUPERSAMPLE
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0, 0, 0, 0]
            for sy in range(n):
                for sx in range(n):
                    c = coverage((px + (sx + 0.5) / n) / size, (py + (sy + 0.5) / n) / size)
                    if c is not None:
                        acc[0] += c[2]
                        acc[1] += c[1]
                        acc[2] += c[0]
                        acc[3] += 255
            hits = acc[3] // 255
            if hits == 0:
                row.append((0, 0, 0, 0))
            else:
                row.append((acc[0] // hits, acc[1] // hits, acc[2] // hits, acc[3] // (n * n)))
        rows.append(row)
    return rows


def dib(size):
    rows = render(size)
    pixels = b"".join(bytes(p) for row in reversed(rows) for p in row)
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for x, p in enumerate(row):
            if p[3] < 128:  # transparent where alpha is not supported
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0,
                         len(pixels) + len(mask), 0, 0, 0, 0)
    return header + pixels + bytes(mask)


def main(path):
    images = [dib(s) for s in SIZES]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in zip(SIZES, images):
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    out += b"".join(images)
    with open(path, "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "ui/resources/kestrelon.ico")
