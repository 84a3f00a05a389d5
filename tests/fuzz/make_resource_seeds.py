#!/usr/bin/env python3
"""Writes seeds for resources_fuzz: a launcher image, its resource section and an icon file.

Each seed is the target's choice byte (0 icon file, 1 resource section, 2 image) and the bytes.
usage: make_resource_seeds.py LAUNCHER_EXE ICON_FILE OUTPUT_FOLDER
"""
import hashlib
import os
import struct
import sys


def resource_section(image):
    """The raw data of the section that the resource directory starts."""
    header = struct.unpack_from('<I', image, 0x3C)[0]
    sections = struct.unpack_from('<H', image, header + 6)[0]
    optional_size = struct.unpack_from('<H', image, header + 20)[0]
    rva = struct.unpack_from('<I', image, header + 24 + 96 + 2 * 8)[0]
    table = header + 24 + optional_size
    for i in range(sections):
        vsize, address, raw_size, raw_offset = struct.unpack_from('<4I', image, table + 40 * i + 8)
        if address == rva:
            return image[raw_offset:raw_offset + min(vsize, raw_size)]
    raise SystemExit('no resource section')


def main():
    launcher, icon, out = sys.argv[1:4]
    image = open(launcher, 'rb').read()
    seeds = [b'\x00' + open(icon, 'rb').read(), b'\x01' + resource_section(image), b'\x02' + image]
    os.makedirs(out, exist_ok=True)
    for seed in seeds:
        with open(os.path.join(out, hashlib.sha1(seed).hexdigest()), 'wb') as f:
            f.write(seed)


main()
