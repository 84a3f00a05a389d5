#!/usr/bin/env python3
"""Turns the text pixel map of the INSTALL icon into a Windows .ico file.

The icon is one image, 32 x 32 pixels with 16 colours: an ICONDIR header, one directory entry,
then a BITMAPINFOHEADER (height doubled, for the colour and the mask bitmaps), the 16-colour
palette, the 4-bit colour rows and the 1-bit transparency mask rows, both bottom-up.

Usage: make_icon.py PIXELMAP OUTPUT
"""
import struct
import sys

SIZE = 32
# The standard 16-colour palette, as Windows orders it, in (red, green, blue).
PALETTE = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]


def read_pixels(path):
    rows = []
    with open(path, encoding="ascii") as source:
        for line in source:
            line = line.rstrip("\n")
            if not line or line.startswith("#"):
                continue
            if len(line) != SIZE:
                sys.exit(f"{path}: row {len(rows) + 1} has {len(line)} pixels, not {SIZE}")
            rows.append(line)
    if len(rows) != SIZE:
        sys.exit(f"{path}: {len(rows)} rows, not {SIZE}")
    return rows


def image_bytes(rows):
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b"".join(struct.pack("BBBB", b, g, r, 0) for r, g, b in PALETTE)
    colours = bytearray()
    mask = bytearray()
    for line in reversed(rows):
        indices = [0 if c == "." else int(c, 16) for c in line]
        for i in range(0, SIZE, 2):
            colours.append(indices[i] << 4 | indices[i + 1])
        bits = 0
        for c in line:
            bits = bits << 1 | (1 if c == "." else 0)
        mask += bits.to_bytes(SIZE // 8, "big")  # 32 pixels: rows are already 4-byte aligned
    return header + palette + bytes(colours) + bytes(mask)


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    image = image_bytes(read_pixels(sys.argv[1]))
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 16, 0, 1, 4, len(image), 6 + 16)
    with open(sys.argv[2], "wb") as out:
        out.write(directory + entry + image)


if __name__ == "__main__":
    main()
