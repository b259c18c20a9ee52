#!/usr/bin/env python3
"""Turns the screen file Xvfb keeps (-fbdir, XWD, 24 or 32 bits per pixel) into a PNG."""
import struct
import sys
import zlib


def main(source, target):
    data = open(source, "rb").read()
    order = ">" if struct.unpack(">I", data[:4])[0] < 4096 else "<"
    h = struct.unpack(order + "25I", data[:100])
    header_size, width, height = h[0], h[4], h[5]
    byte_order, bits_per_pixel, bytes_per_line, ncolors = h[7], h[11], h[12], h[19]
    if bits_per_pixel not in (24, 32):
        sys.exit(f"xwd_to_png: {bits_per_pixel} bits per pixel is not handled")
    masks = h[14:17]
    shifts = [(m & -m).bit_length() - 1 for m in masks]
    step = bits_per_pixel // 8
    pixels = data[header_size + 12 * ncolors:]
    rows = bytearray()
    for y in range(height):
        line = pixels[y * bytes_per_line:y * bytes_per_line + width * step]
        rows.append(0)
        for x in range(0, width * step, step):
            value = int.from_bytes(line[x:x + step], "little" if byte_order == 0 else "big")
            rows += bytes(((value & m) >> s) & 0xFF for m, s in zip(masks, shifts))

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))

    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(bytes(rows), 9)) + chunk(b"IEND", b"")
    open(target, "wb").write(png)


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
