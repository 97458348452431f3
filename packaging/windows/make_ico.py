#!/usr/bin/env python3
"""Packs square PNG icons into one Windows .ico, each size stored as the PNG
it is (Windows reads PNG entries since Vista).

    make_ico.py OUT.ico IN.png [IN.png ...]
"""
import struct
import sys

PNG_SIGNATURE = b"\x89PNG\r\n\x1a\n"


def png_size(data, name):
    if data[:8] != PNG_SIGNATURE or data[12:16] != b"IHDR":
        raise ValueError("%s: not a PNG file" % name)
    width, height = struct.unpack(">II", data[16:24])
    if width != height or not 1 <= width <= 256:
        raise ValueError("%s: %d x %d; an icon is square, 256 at most" % (name, width, height))
    return width


def ico(images):
    """images: (name, PNG bytes) pairs, stored smallest first."""
    sized = sorted(((png_size(data, name), data) for name, data in images), key=lambda e: e[0])
    out = struct.pack("<HHH", 0, 1, len(sized))
    offset = 6 + 16 * len(sized)
    for size, data in sized:
        # A width or height of 256 is written as 0.
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return out + b"".join(data for _, data in sized)


def main(argv):
    if len(argv) < 2:
        sys.exit("usage: make_ico.py OUT.ico IN.png [IN.png ...]")
    images = []
    for name in argv[1:]:
        with open(name, "rb") as f:
            images.append((name, f.read()))
    try:
        data = ico(images)
    except ValueError as e:
        sys.exit("make_ico.py: %s" % e)
    with open(argv[0], "wb") as f:
        f.write(data)


if __name__ == "__main__":
    main(sys.argv[1:])
