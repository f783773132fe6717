#!/usr/bin/env python3
"""Draws the window's logo (54 x 49, 24-bit BMP) and the application icon (16 and 32 px).

The art is generated rather than checked in as binaries so that it can be reviewed and changed as
code. The logo's bottom-left pixel is the key colour that the window leaves out when it draws it.
"""
import math
import struct
import sys

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


def bmp24(rows):
    h, w = len(rows), len(rows[0])
    stride = (w * 3 + 3) & ~3
    pixels = bytearray()
    for row in reversed(rows):  # bottom-up
        line = bytearray()
        for r, g, b in row:
            line += bytes((b, g, r))
        pixels += line + b"\0" * (stride - len(line))
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    header = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(pixels), 0, 0, 14 + len(info))
    return header + info + pixels


def icon_image(n):
    rows = mark((n, n), None)
    xor = bytearray()
    and_stride = ((n + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        line = bytearray(and_stride)
        for x, px in enumerate(row):
            if px is None:
                xor += b"\0\0\0\0"
                line[x // 8] |= 0x80 >> (x % 8)
            else:
                r, g, b = px
                xor += bytes((b, g, r, 255))
        mask += line
    info = struct.pack("<IiiHHIIiiII", 40, n, 2 * n, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    return info + xor + mask


def ico(sizes):
    images = [icon_image(n) for n in sizes]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for n, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", n % 256, n % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return out + b"".join(images)


def main():
    logo_path, icon_path = sys.argv[1], sys.argv[2]
    with open(logo_path, "wb") as f:
        f.write(bmp24(mark((54, 49), KEY)))
    with open(icon_path, "wb") as f:
        f.write(ico([16, 32]))


if __name__ == "__main__":
    main()
