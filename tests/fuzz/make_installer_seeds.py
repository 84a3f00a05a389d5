#!/usr/bin/env python3
"""Writes the seed corpus of installer_fuzz: recipes of whole, undamaged installers.

A recipe is read front to back by the target (see Recipe in installer_fuzz.cpp); this writes
choices in the same order. Seeds carry no damage: the fuzzer adds it.
usage: make_installer_seeds.py OUTPUT_FOLDER
"""
import os
import struct
import sys

MEMBERS = ["init.ini", "setup.cfg", "temp.shr", "inst32.shr", "inst16.shr", "unst32.shr",
           "unst16.shr", "spawn.exe", "InstallENU.dll", "Install.dll", "dosshell.pif",
           "~0000.shr", "SETUP.AIC", "~0000.dll", "INIT.INI", "~0000.bat", "InstallDEU.dll"]
FILES = ["~0000.exe", "readme.txt", "uninst.exe", "lang.dll", "setup.ins", "init.ini", "data.z",
         "~0000.dll"]

# The machine: bits of the first byte.
ADD_REQUIRED, SIXTEEN_BIT, TRACE_LOG, FOREIGN = 1, 2, 4, 8
DOUBLE_BYTE, QUIET_NAME, REDIRECTION, GERMAN = 0x10, 0x20, 0x40, 0x80


def content(seed, repeats):
    assert len(seed) <= 48 and 1 <= repeats <= 100
    return bytes([len(seed)]) + seed + bytes([repeats - 1])


def package(files, ascii_=False, dictionary_bits=6):
    out = bytes([len(files) - 1])
    for name, seed, repeats in files:
        out += bytes([FILES.index(name)]) + content(seed, repeats)
        out += struct.pack("<HH", 0x2B29, 0x45D4)  # a DOS date and time
    out += bytes([1 if ascii_ else 0, dictionary_bits - 4, 0])  # options, no damage
    return out


def member(name, raw=None, files=None, **options):
    out = bytes([MEMBERS.index(name)])
    is_package = files is not None
    # The target makes a package when "looks like a package" differs from this flag.
    out += bytes([0 if is_package == name.endswith(".shr") else 1])
    out += package(files, **options) if is_package else bytes([len(raw)]) + raw
    return out + struct.pack("<HH", 0x2B29, 0x45D4)


def recipe(flags, command_line, members, padding=None):
    """padding: None for an unsigned installer, else the zero bytes before its signature."""
    assert len(command_line) <= 48 and len(members) <= 8
    out = bytes([flags, len(command_line)]) + command_line + bytes([len(members)])
    out += b"".join(members)
    out += bytes([0, 1])  # no archive damage, not cut short
    if padding is not None:  # signed: the padding, and a table of 8 + 1200 bytes
        out += bytes([1 | padding << 1]) + struct.pack("<H", 1200)
    return out


ENGINE = (b"MZ engine stand-in \x00\x01\x02\x03\xff" * 2, 60)

SEEDS = {
    "complete_32": recipe(0, b"", [
        member("init.ini", raw=b"Welcome to the demo\r\n"),
        member("setup.cfg", raw=b"[scrambled]"),
        member("temp.shr", files=[("readme.txt", b"read me ", 3)]),
        member("inst32.shr", files=[("~0000.exe",) + ENGINE, ("lang.dll", b"L", 1)]),
        member("unst32.shr", files=[("uninst.exe", b"uninstaller", 2)]),
        member("InstallENU.dll", raw=b"english resources"),
        member("dosshell.pif", raw=b"pif")]),
    "complete_16": recipe(SIXTEEN_BIT, b"/S", [
        member("setup.cfg", raw=b"script"),
        member("spawn.exe", raw=b"MZ spawn"),
        member("unst16.shr", files=[("uninst.exe", b"u16", 5)]),
        member("inst16.shr", files=[("~0000.exe",) + ENGINE]),
        member("Install.dll", raw=b"resources"),
        member("dosshell.pif", raw=b"pif")]),
    "quiet_script_member": recipe(ADD_REQUIRED | TRACE_LOG | FOREIGN, b"/An -x", [
        member("SETUP.AIC", raw=b"script"),
        member("inst32.shr", files=[("~0000.exe", b"ascii text engine\r\n", 90)],
               ascii_=True, dictionary_bits=4)]),
    "shadowing_engine_package": recipe(ADD_REQUIRED, b"data\\more.txt", [
        member("inst32.shr", files=[("~0000.exe", b"first", 4)]),
        member("~0000.shr", files=[("~0000.exe", b"second", 7), ("setup.ins", b"s", 1)],
               dictionary_bits=5)]),
    "sixteen_bit_package_on_32_bit_route": recipe(ADD_REQUIRED, b"", [
        member("inst16.shr", files=[("~0000.exe",) + ENGINE, ("data.z", bytes(range(48)), 100)]),
        member("unst16.shr", files=[("uninst.exe", b"u", 1)]),
        member("INIT.INI", raw=b"Hello")]),
    "german_double_byte_quiet_name": recipe(ADD_REQUIRED | DOUBLE_BYTE | QUIET_NAME | GERMAN, b"", [
        member("InstallDEU.dll", raw=b"deutsch"),
        member("InstallENU.dll", raw=b"english"),
        member("inst32.shr", files=[("~0000.exe",) + ENGINE])]),
    "redirection_folder": recipe(ADD_REQUIRED | REDIRECTION, b"", [
        member("inst32.shr", files=[("~0000.exe",) + ENGINE])]),
    "signed": recipe(0, b"", [
        member("setup.cfg", raw=b"[scrambled]"),
        member("inst32.shr", files=[("~0000.exe",) + ENGINE]),
        member("dosshell.pif", raw=b"pif")], padding=0),
    "signed_after_padding": recipe(ADD_REQUIRED, b"", [
        member("inst32.shr", files=[("~0000.exe",) + ENGINE]),
        member("InstallENU.dll", raw=b"english")], padding=7),
    "missing_script": recipe(0, b"", [
        member("inst32.shr", files=[("~0000.exe",) + ENGINE]),
        member("dosshell.pif", raw=b"pif")]),
}

if __name__ == "__main__":
    folder = sys.argv[1]
    os.makedirs(folder, exist_ok=True)
    for name, data in SEEDS.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)
