#!/usr/bin/env python3
"""The header tightening on a freshly linked image: the same memory image in a file 512 bytes
shorter, a checksum as ld computes it, and a second run refused without a change.

usage: tighten_pe_image_test.py TIGHTEN_SCRIPT LINKED_IMAGE"""
import os
import shutil
import struct
import subprocess
import sys
import tempfile


def layout(image):
    """The sections as (name, virtual address, virtual size, bytes in the file), and headers."""
    pe = struct.unpack_from("<I", image, 0x3C)[0]
    count, optional_size = struct.unpack_from("<H", image, pe + 6)[0], struct.unpack_from(
        "<H", image, pe + 20)[0]
    sections = []
    for i in range(count):
        at = pe + 24 + optional_size + 40 * i
        name = image[at:at + 8].rstrip(b"\0").decode()
        virtual_size, address, raw_size, raw_at = struct.unpack_from("<IIII", image, at + 8)
        sections.append((name, address, virtual_size, image[raw_at:raw_at + raw_size]))
    return pe, sections


def memory(sections):
    """What the loader maps: each section's bytes, zero-filled up to its virtual size."""
    mapped = {}
    for name, address, virtual_size, data in sections:
        whole = (data + bytes(max(0, virtual_size - len(data))))[:max(virtual_size, len(data))]
        for offset in range(0, len(whole), 4096):
            page = whole[offset:offset + 4096]
            if any(page):
                mapped[address + offset] = page.rstrip(b"\0")
    return mapped


def main():
    tighten, linked = sys.argv[1], sys.argv[2]
    sys.path.insert(0, os.path.dirname(tighten))
    import tighten_pe_image

    original = open(linked, "rb").read()
    pe, before = layout(original)
    checksum_at = pe + 24 + 64
    failures = []
    if tighten_pe_image.checksum(original, checksum_at) != struct.unpack_from(
            "<I", original, checksum_at)[0]:
        failures.append("the checksum differs from the one ld wrote")

    with tempfile.TemporaryDirectory() as folder:
        copy = os.path.join(folder, "image.exe")
        shutil.copy(linked, copy)
        subprocess.run([sys.executable, tighten, copy], check=True)
        tightened = open(copy, "rb").read()
        pe2, after = layout(tightened)
        if len(tightened) != len(original) - 512:
            failures.append(f"{len(original)} bytes became {len(tightened)}, not 512 fewer")
        if pe2 != 0x40:
            failures.append(f"the PE headers start at {pe2:#x}")
        if [s[0] for s in after] != [s[0] for s in before if s[0] != ".bss"]:
            failures.append(f"sections {[s[0] for s in after]}")
        if memory(after) != memory(before):
            failures.append("the mapped image differs")
        if tighten_pe_image.checksum(tightened, pe2 + 24 + 64) != struct.unpack_from(
                "<I", tightened, pe2 + 24 + 64)[0]:
            failures.append("the checksum was not written again")

        again = subprocess.run([sys.executable, tighten, copy], capture_output=True, text=True)
        if again.returncode != 1 or "no .bss" not in again.stderr:
            failures.append(f"a second run gave {again.returncode}: {again.stderr.strip()}")
        if open(copy, "rb").read() != tightened:
            failures.append("a refused run changed the file")

    for failure in failures:
        print("FAIL:", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
