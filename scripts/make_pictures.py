#!/usr/bin/env python3
"""Writes the engine's default wizard pictures into ui/resources/, drawn here so
that no outside art is needed:

    side.bmp            bitmap 2: the side picture of the layouts 1 and 3
    header.bmp          bitmap 3: the picture at the right end of the header band
    button_go.bmp       bitmap 4: the image on a page's first button
    button_cancel.bmp   bitmap 5: the image on the cancel button

and each again with "_192" for 192 dots per inch (bitmaps 202 to 205). The
pictures are 24-bit; the button images use magenta (255, 0, 255) for the parts
that show the button behind them. The motif matches the program icon: a blue
disc with a white arrow pointing down into a tray. Run from the repository root:
    python3 scripts/make_pictures.py
"""
import math
import os
import struct
import sys

SUPERSAMPLE = 3
MAGENTA = (255, 0, 255)


def mix(a, b, t):
    return tuple(int(round(a[i] + (b[i] - a[i]) * t)) for i in range(3))


def emblem(x, y):
    """The icon's disc, arrow and tray in a 0..1 square; None outside the disc."""
    cx, cy = x - 0.5, y - 0.5
    if math.hypot(cx, cy) > 0.48:
        return None
    white = (255, 255, 255)
    if abs(cx) < 0.07 and -0.30 < cy < 0.05:
        return white
    if -0.02 < cy < 0.17 and abs(cx) < (0.17 - cy) * 1.1:
        return white
    if 0.20 < cy < 0.28 and abs(cx) < 0.28:
        return white
    if 0.08 < cy < 0.28 and 0.20 < abs(cx) < 0.28:
        return white
    t = cy + 0.5
    return (int(40 + 20 * (1 - t)), int(110 + 60 * (1 - t)), int(190 + 50 * (1 - t)))


def side(x, y, w, h):
    """A deep blue gradient with soft light bands and the emblem in the upper third."""
    u, v = x / w, y / h
    base = mix((22, 58, 110), (8, 24, 52), v)
    # two broad light bands across, rising to the right
    for offset, strength in ((0.15, 0.10), (0.42, 0.07)):
        d = abs((v - offset) - 0.35 * (u - 0.5))
        if d < 0.12:
            base = mix(base, (120, 170, 230), strength * (1 - d / 0.12))
    size = 0.62 * w
    ex, ey = (x - (w - size) / 2) / size, (y - 0.16 * h) / size
    # a faint ring around the disc
    if 0.48 < math.hypot(ex - 0.5, ey - 0.5) < 0.53:
        base = mix(base, (255, 255, 255), 0.25)
    if 0 <= ex <= 1 and 0 <= ey <= 1:
        c = emblem(ex, ey)
        if c is not None:
            return c
    return base


def header(x, y, w, h):
    """White, with the emblem at the right and a thin blue line beneath it."""
    size = 0.78 * h
    ex, ey = (x - (w - size - 0.18 * h)) / size, (y - (h - size) / 2) / size
    if 0 <= ex <= 1 and 0 <= ey <= 1:
        c = emblem(ex, ey)
        if c is not None:
            return c
    # a soft fade from white into a pale blue towards the right end
    return mix((255, 255, 255), (228, 238, 250), max(0.0, (x / w - 0.3) / 0.7))


def button_go(x, y, w, h):
    """A green arrow pointing right."""
    u, v = x / w - 0.5, y / h - 0.5
    green = (40, 150, 70)
    if abs(v) < 0.09 and -0.34 < u < 0.10:
        return green
    if -0.02 < u < 0.36 and abs(v) < (0.36 - u) * 1.05:
        return green
    return None


def button_cancel(x, y, w, h):
    """A red cross."""
    u, v = x / w - 0.5, y / h - 0.5
    red = (200, 50, 45)
    if abs(u) < 0.34 and abs(v) < 0.34 and (abs(u - v) < 0.12 or abs(u + v) < 0.12):
        return red
    return None


def render(painter, w, h, transparent=False):
    """Rows from the top of (r, g, b), by supersampling; magenta where the
    painter leaves a pixel mostly uncovered."""
    n = SUPERSAMPLE
    rows = []
    for py in range(h):
        row = []
        for px in range(w):
            acc = [0, 0, 0]
            hits = 0
            for sy in range(n):
                for sx in range(n):
                    c = painter(px + (sx + 0.5) / n, py + (sy + 0.5) / n, w, h)
                    if c is not None:
                        hits += 1
                        for i in range(3):
                            acc[i] += c[i]
            if transparent and hits * 2 < n * n:
                row.append(MAGENTA)
            elif hits == 0:
                row.append((255, 255, 255))
            else:
                row.append(tuple(a // hits for a in acc))
        rows.append(row)
    return rows


def bmp(rows):
    h, w = len(rows), len(rows[0])
    stride = ((w * 3 + 3) // 4) * 4
    data = bytearray()
    for row in reversed(rows):
        line = bytearray()
        for r, g, b in row:
            line += bytes((b, g, r))
        data += line + bytes(stride - len(line))
    header = struct.pack("<2sIHHI", b"BM", 14 + 40 + len(data), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(data), 3780, 3780, 0, 0)
    return header + info + bytes(data)


PICTURES = (
    ("side", side, (130, 282), False),
    ("header", header, (96, 42), False),
    ("button_go", button_go, (16, 16), True),
    ("button_cancel", button_cancel, (16, 16), True),
)


def main(folder):
    for name, painter, (w, h), transparent in PICTURES:
        for suffix, scale in (("", 1), ("_192", 2)):
            rows = render(painter, w * scale, h * scale, transparent)
            with open(os.path.join(folder, name + suffix + ".bmp"), "wb") as f:
                f.write(bmp(rows))


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "ui/resources")
