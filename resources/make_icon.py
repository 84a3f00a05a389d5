#!/usr/bin/env python3
"""Turns the text pixel maps of the INSTALL icon into a Windows .ico file.

The map holds square images of 16 colours, one after the other; an image is as many rows as its
first row has pixels. The icon file is an ICONDIR header, a directory entry per image, then each
image: a BITMAPINFOHEADER (height doubled, for the colour and the mask bitmaps), the 16-colour
palette, the 4-bit colour rows and the 1-bit transparency mask rows, both bottom-up and each row
padded to 4 bytes.

Usage: make_icon.py PIXELMAP OUTPUT [LARGEST]

With LARGEST, images larger than LARGEST pixels are left out: the launcher itself carries only
its 32-pixel image, since every byte of the stub travels in every installer; an installer's own
icon (tovalin build --icon) brings the larger ones.
"""
import struct
import sys

# The standard 16-colour palette, as Windows orders it, in (red, green, blue).
PALETTE = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]


def read_images(path):
    rows = []
    with open(path, encoding="ascii") as source:
        for line in source:
            line = line.rstrip("\n")
            if line and not line.startswith("#"):
                rows.append(line)
    images = []
    while rows:
        size = len(rows[0])
        image, rows = rows[:size], rows[size:]
        if len(image) != size or any(len(row) != size for row in image):
            sys.exit(f"{path}: image {len(images) + 1} is not {size} rows of {size} pixels")
        images.append(image)
    if not images:
        sys.exit(f"{path}: no image")
    return images


def padded(row_bytes):
    return row_bytes + bytes(-len(row_bytes) % 4)


def image_bytes(rows):
    size = len(rows)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b"".join(struct.pack("BBBB", b, g, r, 0) for r, g, b in PALETTE)
    colours = bytearray()
    mask = bytearray()
    for line in reversed(rows):
        indices = [0 if c == "." else int(c, 16) for c in line]
        colours += padded(bytes(indices[i] << 4 | indices[i + 1] for i in range(0, size, 2)))
        bits = 0
        for c in line:
            bits = bits << 1 | (1 if c == "." else 0)
        mask += padded(bits.to_bytes(size // 8, "big"))
    return header + palette + bytes(colours) + bytes(mask)


def main():
    if len(sys.argv) not in (3, 4):
        sys.exit(__doc__)
    maps = read_images(sys.argv[1])
    if len(sys.argv) == 4:
        maps = [rows for rows in maps if len(rows) <= int(sys.argv[3])]
    images = [image_bytes(rows) for rows in maps]
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for rows, image in zip(maps, images):
        directory += struct.pack("<BBBBHHII", len(rows), len(rows), 16, 0, 1, 4, len(image), offset)
        offset += len(image)
    with open(sys.argv[2], "wb") as out:
        out.write(directory + b"".join(images))


if __name__ == "__main__":
    main()
