#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Writes the PE modules kova-check's tests read: a DLL exporting the given names and importing the
given DLLs, for a given machine, laid out as a linker lays out a PE (headers, one .rdata section
with the export and import directories).

  make_modules.py OUT.dll --names LIST [--machine x64|x86|arm64] [--import DLL]... [--drop NAME]
                  [--replace OLD NEW] [--truncate BYTES]
"""
import argparse
import struct

MACHINES = {"x64": (0x8664, True), "arm64": (0xAA64, True), "x86": (0x14C, False)}
SECTION_RVA = 0x1000
FILE_ALIGN = 0x200


def pe_image(names, imports, machine):
    code, wide = MACHINES[machine]
    names = sorted(names)  # the loader binary-searches export names
    # .rdata: export directory, address table, name pointers, ordinals, names; then imports.
    data = bytearray()

    def put(blob, align=4):
        while len(data) % align:
            data.append(0)
        at = len(data)
        data.extend(blob)
        return SECTION_RVA + at

    export_dir_at = put(bytes(40))
    functions_at = put(struct.pack("<%dI" % len(names), *([SECTION_RVA] * len(names))))
    pointers_at = put(bytes(4 * len(names)))
    ordinals_at = put(struct.pack("<%dH" % len(names), *range(len(names))))
    dll_name_at = put(b"VQUAD.dll\0")
    name_rvas = [put(n.encode() + b"\0", 1) for n in names]
    data[pointers_at - SECTION_RVA:pointers_at - SECTION_RVA + 4 * len(names)] = struct.pack(
        "<%dI" % len(names), *name_rvas)
    data[export_dir_at - SECTION_RVA:export_dir_at - SECTION_RVA + 40] = struct.pack(
        "<IIHHIIIIIII", 0, 0, 0, 0, dll_name_at, 1, len(names), len(names), functions_at, pointers_at, ordinals_at)
    export_size = len(data)
    thunk = 8 if wide else 4
    descriptors = []
    for dll in imports:
        hint_at = put(struct.pack("<H", 0) + b"memcpy\0", 2)
        lookup_at = put(struct.pack("<QQ" if wide else "<II", hint_at, 0), thunk)
        address_at = put(struct.pack("<QQ" if wide else "<II", hint_at, 0), thunk)
        descriptors.append((lookup_at, put(dll.encode() + b"\0", 1), address_at))
    import_dir_at = put(b"".join(struct.pack("<IIIII", lookup, 0, 0, name, address)
                                 for lookup, name, address in descriptors) + bytes(20))
    import_size = len(data) - (import_dir_at - SECTION_RVA)
    # The functions lie outside the export directory (an address inside it names a forwarder).
    code_at = put(b"\xC3")  # ret
    data[functions_at - SECTION_RVA:functions_at - SECTION_RVA + 4 * len(names)] = struct.pack(
        "<%dI" % len(names), *([code_at] * len(names)))
    while len(data) % FILE_ALIGN:
        data.append(0)

    directories = [(0, 0)] * 16
    directories[0] = (export_dir_at, export_size)
    if imports:
        directories[1] = (import_dir_at, import_size)
    if wide:
        optional = struct.pack("<HBBIIIIIQIIHHHHHHIIIIHHQQQQII", 0x20B, 14, 0, 0, len(data), 0, 0, SECTION_RVA,
                               0x180000000, 0x1000, FILE_ALIGN, 6, 0, 0, 0, 6, 0, 0, SECTION_RVA + len(data),
                               FILE_ALIGN, 0, 3, 0x160, 0x100000, 0x1000, 0x100000, 0x1000, 0, 16)
    else:
        optional = struct.pack("<HBBIIIIIIIIIHHHHHHIIIIHHIIIIII", 0x10B, 14, 0, 0, len(data), 0, 0, SECTION_RVA, 0,
                               0x10000000, 0x1000, FILE_ALIGN, 6, 0, 0, 0, 6, 0, 0, SECTION_RVA + len(data),
                               FILE_ALIGN, 0, 3, 0x140, 0x100000, 0x1000, 0x100000, 0x1000, 0, 16)
    optional += b"".join(struct.pack("<II", rva, size) for rva, size in directories)
    characteristics = 0x2022 if wide else 0x2102  # DLL, executable (, 32-bit machine)
    coff = struct.pack("<HHIIIHH", code, 1, 0, 0, 0, len(optional), characteristics)
    section = struct.pack("<8sIIIIIIHHI", b".rdata", len(data), SECTION_RVA, len(data), FILE_ALIGN, 0, 0, 0, 0,
                          0x40000040)
    headers = bytearray(b"MZ" + bytes(0x3A) + struct.pack("<I", 0x40))
    headers += b"PE\0\0" + coff + optional + section
    headers += bytes(FILE_ALIGN - len(headers))
    return bytes(headers + data)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("out")
    parser.add_argument("--names", required=True, help="a list of decorated names, one a line ('#' comments)")
    parser.add_argument("--machine", default="x64", choices=sorted(MACHINES))
    parser.add_argument("--import", dest="imports", action="append", default=[])
    parser.add_argument("--drop", action="append", default=[])
    parser.add_argument("--replace", nargs=2, action="append", default=[], metavar=("OLD", "NEW"))
    parser.add_argument("--truncate", type=int)
    options = parser.parse_args()
    with open(options.names) as listed:
        names = [line.strip() for line in listed if line.strip() and not line.startswith("#")]
    names = [n for n in names if n not in options.drop]
    for old, new in options.replace:
        if old not in names:
            raise SystemExit("no name %s to replace" % old)
        names = [new if n == old else n for n in names]
    image = pe_image(names, options.imports, options.machine)
    if options.truncate is not None:
        image = image[:options.truncate]
    with open(options.out, "wb") as out:
        out.write(image)


if __name__ == "__main__":
    main()
