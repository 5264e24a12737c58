#!/usr/bin/env python3
"""Checks the module inside the shipped zip the way a Windows loader and a user would meet it:

  * every DLL it imports at load time (and any it would load later through delay-load
    imports) is a Windows system DLL, so loading it cannot fail for want of another file;
  * it carries no debug information (no .debug sections) and no text of the given build
    folders (--no-text), which would otherwise leak paths of the build machine.

Usage: check_shipped_module.py ZIP MEMBER [--no-text TEXT]...
Exit code: 0 when the module passes, 1 when it does not, 2 when it cannot be read.
"""

import argparse
import struct
import sys
import zipfile

# Libraries every Windows installation has; the module may import these and no others.
SYSTEM_DLLS = {
    "kernel32.dll", "user32.dll", "advapi32.dll", "msvcrt.dll", "ws2_32.dll", "iphlpapi.dll",
    "userenv.dll", "psapi.dll", "crypt32.dll", "bcrypt.dll", "ntdll.dll", "shell32.dll", "ole32.dll",
}

IMPORT_DIRECTORY = 1
DELAY_IMPORT_DIRECTORY = 13


class Unreadable(Exception):
    pass


class PortableExecutable:
    def __init__(self, data):
        self.data = data
        if data[:2] != b"MZ":
            raise Unreadable("not an MZ executable")
        pe = self.u32(0x3C)
        if data[pe:pe + 4] != b"PE\0\0":
            raise Unreadable("no PE signature")
        sections, symbols, symbol_count, optional_size = struct.unpack_from("<H4xIIH", data, pe + 6)
        strings = symbols + 18 * symbol_count
        optional = pe + 24
        if self.u16(optional) != 0x20B:
            raise Unreadable("not a 64-bit (PE32+) image")
        self.directories = optional + 112
        self.directory_count = self.u32(optional + 108)
        table = optional + optional_size
        self.sections = []
        for i in range(sections):
            entry = table + 40 * i
            raw_name = data[entry:entry + 8].rstrip(b"\0").decode("latin-1")
            if raw_name.startswith("/") and symbols:
                # A long name lives in the string table after the symbols.
                at = strings + int(raw_name[1:])
                raw_name = data[at:data.index(b"\0", at)].decode("latin-1")
            vsize, vaddr, rsize, roffset = struct.unpack_from("<IIII", data, entry + 8)
            self.sections.append((raw_name, vaddr, max(vsize, rsize), roffset, rsize))

    def u16(self, offset):
        return struct.unpack_from("<H", self.data, offset)[0]

    def u32(self, offset):
        return struct.unpack_from("<I", self.data, offset)[0]

    def offset(self, rva):
        for _, vaddr, size, roffset, rsize in self.sections:
            if vaddr <= rva < vaddr + size and rva - vaddr < rsize:
                return roffset + rva - vaddr
        raise Unreadable(f"address {rva:#x} lies in no section")

    def text(self, rva):
        start = self.offset(rva)
        end = self.data.index(b"\0", start)
        return self.data[start:end].decode("latin-1")

    def directory(self, index):
        if index >= self.directory_count:
            return 0, 0
        return struct.unpack_from("<II", self.data, self.directories + 8 * index)

    def imported_dlls(self, index, entry_size, name_field):
        rva, size = self.directory(index)
        names = []
        if rva == 0 or size == 0:
            return names
        at = self.offset(rva)
        while True:
            entry = self.data[at:at + entry_size]
            if len(entry) < entry_size or entry == b"\0" * entry_size:
                return names
            names.append(self.text(struct.unpack_from("<I", entry, name_field)[0]))
            at += entry_size

    def section_names(self):
        return [name for name, *_ in self.sections]


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("zip")
    parser.add_argument("member")
    parser.add_argument("--no-text", action="append", default=[], help="text the module must not contain")
    args = parser.parse_args(argv)
    try:
        with zipfile.ZipFile(args.zip) as archive:
            data = archive.read(args.member)
        image = PortableExecutable(data)
        imports = image.imported_dlls(IMPORT_DIRECTORY, 20, 12)
        delayed = image.imported_dlls(DELAY_IMPORT_DIRECTORY, 32, 4)
    except (OSError, KeyError, zipfile.BadZipFile, Unreadable, struct.error, ValueError) as error:
        print(f"check_shipped_module: {error}", file=sys.stderr)
        return 2

    problems = []
    print(f"{args.member}: {len(data)} bytes; imports {', '.join(imports) or 'nothing'}")
    for name in imports:
        if name.lower() not in SYSTEM_DLLS:
            problems.append(f"imports {name}, which is no Windows system DLL")
    for name in delayed:
        if name.lower() not in SYSTEM_DLLS:
            problems.append(f"delay-loads {name}, which is no Windows system DLL")
    debug = [name for name in image.section_names() if name.startswith((".debug", "/"))]
    if debug:
        problems.append(f"carries debug sections: {', '.join(debug)}")
    for text in args.no_text:
        if text and text.encode() in data:
            problems.append(f"contains the build machine's text {text}")
    for problem in problems:
        print(f"FAILED: {problem}")
    print("module passes" if not problems else f"{len(problems)} problem(s)")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
