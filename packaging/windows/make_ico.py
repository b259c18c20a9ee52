#!/usr/bin/env python3
"""Writes a Windows icon file from PNG pictures, each kept as PNG inside (Windows Vista and later read them).

    make_ico.py OUT.ico SIZE.png...   the pictures in the order given; each must be square, at most 256 px
"""
import struct
import sys


def png_size(data, name):
    if data[:8] != b"\x89PNG\r\n\x1a\n" or data[12:16] != b"IHDR":
        sys.exit(f"make_ico.py: {name} is not a PNG file")
    width, height = struct.unpack(">II", data[16:24])
    if width != height or width > 256:
        sys.exit(f"make_ico.py: {name} is {width}x{height}; an icon picture is square, at most 256 px")
    return width


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    pictures = []
    for name in sys.argv[2:]:
        with open(name, "rb") as f:
            data = f.read()
        pictures.append((png_size(data, name), data))
    header = struct.pack("<HHH", 0, 1, len(pictures))
    offset = len(header) + 16 * len(pictures)
    entries, images = b"", b""
    for size, data in pictures:
        # A width or height of 256 is written as 0; 32 bits per pixel, one plane.
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        images += data
        offset += len(data)
    with open(sys.argv[1], "wb") as f:
        f.write(header + entries + images)


main()
