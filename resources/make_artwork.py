#!/usr/bin/env python3
"""Draws the window's logo (54 x 49, 8-bit BMP, and again at 150 and 200 %) and the application icon
(16 and 32 px, and the sizes of those at 150 and 200 %).

The art is generated rather than checked in as binaries so that it can be reviewed and changed as
code. The logo's bottom-left pixel is the key colour that the window leaves out when it draws it.
"""
import math
import struct
import sys
import zlib

KEY = (255, 0, 255)          # left out when drawn: the backdrop shows through
BLUE = (0x34, 0xA0, 0xD7)    # the brand blue of the window's link and name
SILVER = (0xC0, 0xC0, 0xC0)
WHITE = (0xFF, 0xFF, 0xFF)


def mix(a, b, t):
    return tuple(round(x + (y - x) * t) for x, y in zip(a, b))


def mark(size, background):
    """A ring with a downward arrow into a tray: 'download and install'. Returns rows of RGB."""
    w, h = size
    cx, cy = (w - 1) / 2, (h - 1) / 2
    r_out = min(w, h) / 2 - 0.5
    r_in = r_out * 0.72
    rows = []
    for y in range(h):
        row = []
        for x in range(w):
            d = math.hypot(x - cx, y - cy)
            colour = background
            if r_in <= d <= r_out:
                colour = mix(BLUE, WHITE, max(0.0, (cy - y) / (2 * r_out)) * 0.5)
            else:
                # Arrow shaft, arrow head and tray, scaled to the inner circle.
                u, v = (x - cx) / r_in, (y - cy) / r_in
                shaft = abs(u) <= 0.16 and -0.62 <= v <= 0.05
                head = v > 0.0 and v <= 0.42 and abs(u) <= 0.42 - v
                tray = 0.5 <= v <= 0.64 and abs(u) <= 0.55
                if d < r_in and (shaft or head or tray):
                    colour = SILVER if tray else WHITE
            row.append(colour)
        rows.append(row)
    return rows


def bmp8(rows):
    """A bottom-up BMP of 8 bits a pixel with a colour table of exactly the colours used: the same
    pixels as 24 bits, in a third of the space."""
    h, w = len(rows), len(rows[0])
    colours = list(dict.fromkeys(c for row in rows for c in row))
    assert len(colours) <= 256
    index = {c: i for i, c in enumerate(colours)}
    table = b"".join(bytes((b, g, r, 0)) for r, g, b in colours)
    stride = (w + 3) & ~3
    pixels = bytearray()
    for row in reversed(rows):  # bottom-up
        line = bytes(index[c] for c in row)
        pixels += line + b"\0" * (stride - len(line))
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 8, 0, len(pixels), 2835, 2835, len(colours),
                       0)
    offset = 14 + len(info) + len(table)
    header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    return header + info + table + pixels


def png_chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def icon_image(n):
    """One frame of the icon: 32-bit RGBA, fully transparent where the mark is not, stored as PNG
    (which Windows decodes to the same 32-bit image) at a fraction of the bitmap's size."""
    rows = mark((n, n), None)
    raw = bytearray()
    for row in rows:  # top-down, each row after its filter type (0, none)
        raw.append(0)
        for px in row:
            raw += b"\0\0\0\0" if px is None else bytes(px) + b"\xff"
    header = struct.pack(">IIBBBBB", n, n, 8, 6, 0, 0, 0)  # 8 bits a channel, RGBA
    return (b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", header) +
            png_chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + png_chunk(b"IEND", b""))


def ico(sizes):
    images = [icon_image(n) for n in sizes]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for n, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", n % 256, n % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return out + b"".join(images)


def main():
    logo_path, logo_150_path, logo_200_path, icon_path = sys.argv[1:5]
    # The window's sizes at 150 and 200 %, rounded as it rounds them (halves up): 81 x 74, 108 x 98.
    for path, size in ((logo_path, (54, 49)), (logo_150_path, (81, 74)),
                       (logo_200_path, (108, 98))):
        with open(path, "wb") as f:
            f.write(bmp8(mark(size, KEY)))
    with open(icon_path, "wb") as f:
        f.write(ico([16, 24, 32, 48, 64]))


if __name__ == "__main__":
    main()
