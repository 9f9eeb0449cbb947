#!/usr/bin/env python3
"""Writes an .ico whose images are the given PNG files (Windows Vista and later read
PNG images in icons):
    tools/make_ico.py OUT.ico IN-16.png IN-32.png"""
import struct
import sys


def png_size(data):
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        sys.exit("not a PNG file")
    return struct.unpack(">II", data[16:24])


def main(out, *pngs):
    images = [open(name, "rb").read() for name in pngs]
    header = struct.pack("<HHH", 0, 1, len(images))
    offset = len(header) + 16 * len(images)
    entries, bodies = b"", b""
    for data in images:
        width, height = png_size(data)
        # 0 stands for 256 in the one-byte sizes.
        entries += struct.pack("<BBBBHHII", width % 256, height % 256, 0, 0, 1, 32,
                               len(data), offset + len(bodies))
        bodies += data
    with open(out, "wb") as ico:
        ico.write(header + entries + bodies)


if __name__ == "__main__":
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    main(*sys.argv[1:])
