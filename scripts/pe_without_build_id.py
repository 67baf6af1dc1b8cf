#!/usr/bin/env python3
"""Prints a PE image's bytes with its build id and checksum zeroed, so that
two builds differing only in their debug information compare equal."""
import struct
import sys


def without_build_id(image: bytearray) -> bytearray:
    pe = struct.unpack_from("<I", image, 0x3C)[0]
    optional = pe + 24
    struct.pack_into("<I", image, optional + 64, 0)  # CheckSum
    debug_rva, debug_size = struct.unpack_from("<II", image, optional + 96 + 6 * 8)
    sections = struct.unpack_from("<H", image, pe + 6)[0]
    table = optional + struct.unpack_from("<H", image, pe + 20)[0]
    for index in range(debug_size // 28 if debug_rva else 0):
        entry = None
        for s in range(sections):
            vsize, va, rawsize, raw = struct.unpack_from("<IIII", image, table + 40 * s + 8)
            if va <= debug_rva + 28 * index < va + max(vsize, rawsize):
                entry = raw + debug_rva + 28 * index - va
        if entry is None:
            continue
        size, _, pointer = struct.unpack_from("<III", image, entry + 16)
        image[pointer + 4:pointer + 4 + 20] = bytes(20)  # RSDS GUID and age
    return image


if __name__ == "__main__":
    with open(sys.argv[1], "rb") as f:
        sys.stdout.buffer.write(without_build_id(bytearray(f.read())))
