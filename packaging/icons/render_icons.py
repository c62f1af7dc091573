#!/usr/bin/env python3
"""Renders the application icon's bitmaps from its SVG: one PNG per size for the desktop's icon
theme, and a Windows .ico holding the Windows sizes, for the Windows launcher's icon resource.

    render_icons.py --rsvg-convert PATH --svg tavolin.svg --out FOLDER --sizes 16 22 ...

Writes FOLDER/tavolin-<size>.png for every size and FOLDER/tavolin.ico. The same SVG and the
same rsvg-convert give the same bytes: PNGs carry no time stamp, and the .ico holds the PNGs as
they are (the icon format's PNG entries), in size order.
"""

import argparse
import struct
import subprocess
import sys
from pathlib import Path

# The sizes a Windows icon resource is expected to hold (256 is written as 0 in its directory).
WINDOWS_SIZES = (16, 24, 32, 48, 64, 128, 256)


def png_size(data):
    """Width and height from a PNG's header chunk."""
    if data[:8] != b"\x89PNG\r\n\x1a\n" or data[12:16] != b"IHDR":
        raise ValueError("not a PNG file")
    return struct.unpack(">II", data[16:24])


def ico_bytes(pngs):
    """An .ico file of PNG entries; `pngs` is a list of PNG files' bytes, one per size."""
    header = struct.pack("<HHH", 0, 1, len(pngs))
    directory = b""
    images = b""
    offset = len(header) + 16 * len(pngs)
    for data in pngs:
        width, height = png_size(data)
        if width > 256 or height > 256:
            raise ValueError("an icon entry is at most 256 pixels wide")
        directory += struct.pack("<BBBBHHII", width % 256, height % 256, 0, 0, 1, 32,
                                 len(data), offset + len(images))
        images += data
    return header + directory + images


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--rsvg-convert", required=True)
    parser.add_argument("--svg", required=True, type=Path)
    parser.add_argument("--out", required=True, type=Path)
    parser.add_argument("--sizes", required=True, type=int, nargs="+")
    args = parser.parse_args()
    args.out.mkdir(parents=True, exist_ok=True)
    rendered = {}
    for size in args.sizes:
        target = args.out / ("tavolin-%d.png" % size)
        subprocess.run([args.rsvg_convert, "--width", str(size), "--height", str(size),
                        "--output", str(target), str(args.svg)], check=True)
        data = target.read_bytes()
        if png_size(data) != (size, size):
            sys.exit("%s: rendered as %dx%d" % (target, *png_size(data)))
        rendered[size] = data
    missing = [size for size in WINDOWS_SIZES if size not in rendered]
    if missing:
        sys.exit("no bitmap for the Windows icon's sizes %s" % missing)
    (args.out / "tavolin.ico").write_bytes(ico_bytes([rendered[s] for s in WINDOWS_SIZES]))


if __name__ == "__main__":
    main()
