#!/usr/bin/env python3
"""Tightens a linked 32-bit PE image in place, so that its headers take one file-alignment unit.

GNU ld writes an MS-DOS program between the DOS header and the PE headers, and with six sections
the headers then fill two 512-byte units of the file. This step
  1. folds the zero-filled section (.bss) into the writable section just before it (the linker
     script puts .bss right behind .idata): the section's virtual size covers both, the loader
     fills the tail with zeros, and the image maps exactly the same memory with the same rights;
  2. drops the MS-DOS program: the PE headers follow the DOS header directly. Windows never runs
     that program for a valid image;
  3. moves every section's data up by what the headers shed, and writes the image's checksum
     again.
It refuses (exit 1, the image untouched) anything that is not laid out as ld lays out the stub.

usage: tighten_pe_image.py IMAGE
"""
import struct
import sys

DOS_HEADER_SIZE = 0x40
SECTION_HEADER_SIZE = 40
PE32_MAGIC = 0x10B
SCN_UNINITIALIZED_DATA = 0x80
SCN_MEM_WRITE = 0x80000000


class Refusal(Exception):
    pass


def align_up(value, alignment):
    return (value + alignment - 1) // alignment * alignment


def checksum(image, checksum_offset):
    """The PE checksum: 16-bit one's-complement-style sum without the field itself, plus the
    file's length."""
    data = image[:checksum_offset] + b"\0\0\0\0" + image[checksum_offset + 4:]
    if len(data) % 2:
        data += b"\0"
    total = 0
    for (word,) in struct.iter_unpack("<H", data):
        total += word
        total = (total & 0xFFFF) + (total >> 16)
    return (total + len(image)) & 0xFFFFFFFF


def tighten(image):
    if image[:2] != b"MZ":
        raise Refusal("no DOS header")
    pe = struct.unpack_from("<I", image, 0x3C)[0]
    if image[pe:pe + 4] != b"PE\0\0":
        raise Refusal("no PE signature")
    coff = pe + 4
    section_count, = struct.unpack_from("<H", image, coff + 2)
    optional_size, = struct.unpack_from("<H", image, coff + 16)
    optional = coff + 20
    if struct.unpack_from("<H", image, optional)[0] != PE32_MAGIC:
        raise Refusal("not a 32-bit image")
    section_alignment, file_alignment = struct.unpack_from("<II", image, optional + 32)
    headers_size, = struct.unpack_from("<I", image, optional + 60)
    table = optional + optional_size

    sections = []
    for i in range(section_count):
        at = table + i * SECTION_HEADER_SIZE
        sections.append(bytearray(image[at:at + SECTION_HEADER_SIZE]))

    def field(header, offset):
        return struct.unpack_from("<I", header, offset)[0]

    # 1. The zero-filled section into the writable one before it.
    index = next((i for i, s in enumerate(sections) if s[:8].rstrip(b"\0") == b".bss"), None)
    if index is None or index == 0:
        raise Refusal("no .bss behind another section")
    bss, before = sections[index], sections[index - 1]
    if field(bss, 16) != 0 or not field(bss, 36) & SCN_UNINITIALIZED_DATA:
        raise Refusal(".bss holds file data")
    if not field(before, 36) & SCN_MEM_WRITE:
        raise Refusal("the section before .bss is not writable")
    before_end = field(before, 12) + align_up(field(before, 8), section_alignment)
    if field(bss, 12) != before_end:
        raise Refusal(".bss does not follow the section before it")
    struct.pack_into("<I", before, 8, field(bss, 12) + field(bss, 8) - field(before, 12))
    del sections[index]
    uninitialized, = struct.unpack_from("<I", image, optional + 12)
    initialized, = struct.unpack_from("<I", image, optional + 8)
    struct.pack_into("<II", image, optional + 8, initialized + uninitialized, 0)
    struct.pack_into("<H", image, coff + 2, len(sections))

    # 2. The headers right behind the DOS header.
    headers_end = DOS_HEADER_SIZE + (table - pe) + len(sections) * SECTION_HEADER_SIZE
    new_headers_size = align_up(headers_end, file_alignment)
    if new_headers_size >= headers_size:
        raise Refusal(f"the headers would still take {new_headers_size} bytes")
    shift = headers_size - new_headers_size
    for header in sections:
        raw = field(header, 20)
        if raw:
            struct.pack_into("<I", header, 20, raw - shift)
    struct.pack_into("<I", image, optional + 60, new_headers_size)

    out = bytearray(image[:DOS_HEADER_SIZE])
    struct.pack_into("<I", out, 0x3C, DOS_HEADER_SIZE)
    out += image[pe:table]
    for header in sections:
        out += header
    out += bytes(new_headers_size - len(out))
    out += image[headers_size:]

    # 3. The checksum of what is now the image.
    checksum_offset = DOS_HEADER_SIZE + (optional - pe) + 64
    struct.pack_into("<I", out, checksum_offset, checksum(out, checksum_offset))
    return out


def main():
    if len(sys.argv) != 2:
        print(__doc__.strip().splitlines()[-1], file=sys.stderr)
        return 2
    path = sys.argv[1]
    with open(path, "rb") as f:
        image = bytearray(f.read())
    try:
        tightened = tighten(image)
    except (Refusal, struct.error) as refusal:
        print(f"tighten_pe_image: {path}: {refusal}", file=sys.stderr)
        return 1
    with open(path, "wb") as f:
        f.write(tightened)
    return 0


if __name__ == "__main__":
    sys.exit(main())
