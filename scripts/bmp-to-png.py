#!/usr/bin/env python3
"""Converts 24-bit bitmap files (ksdriver's screenshots) to PNG files beside them.
    python3 scripts/bmp-to-png.py FILE.bmp...
Each FILE.bmp becomes FILE.png; the bitmap is removed."""
import os
import struct
import sys
import zlib


def convert(path):
    with open(path, "rb") as f:
        data = f.read()
    offset = struct.unpack_from("<I", data, 10)[0]
    width, height = struct.unpack_from("<ii", data, 18)
    bits = struct.unpack_from("<H", data, 28)[0]
    if data[:2] != b"BM" or bits != 24:
        raise SystemExit(path + ": not a 24-bit bitmap")
    rows = abs(height)
    stride = (width * 3 + 3) // 4 * 4
    raw = bytearray()
    for y in range(rows):
        file_row = y if height < 0 else rows - 1 - y
        line = data[offset + file_row * stride: offset + file_row * stride + width * 3]
        raw.append(0)
        for x in range(width):
            b, g, r = line[3 * x: 3 * x + 3]
            raw += bytes((r, g, b))

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF)

    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, rows, 8, 2, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b"")
    with open(os.path.splitext(path)[0] + ".png", "wb") as f:
        f.write(png)
    os.remove(path)


if __name__ == "__main__":
    for name in sys.argv[1:]:
        convert(name)
