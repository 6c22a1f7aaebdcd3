#!/usr/bin/env python3
"""Packs one of the engine's default pictures for its resources: the .bmp file
as one .xz stream (CRC-32 check, the strongest preset), which the engine
unpacks when it shows the picture. Same input, same bytes.

    python3 scripts/pack_picture.py side.bmp side.bmp.xz
"""
import lzma
import os
import sys


def main():
    source, target = sys.argv[1], sys.argv[2]
    with open(source, "rb") as f:
        data = f.read()
    packed = lzma.compress(data, format=lzma.FORMAT_XZ, check=lzma.CHECK_CRC32,
                           preset=9 | lzma.PRESET_EXTREME)
    with open(target + ".part", "wb") as f:
        f.write(packed)
    os.replace(target + ".part", target)


if __name__ == "__main__":
    main()
