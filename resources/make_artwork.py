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


def rle8_line(line):
    """One row as runs of one index, and stretches of three or more indices that do not repeat as
    they stand; then the end of the row."""
    out = bytearray()
    i = 0
    while i < len(line):
        run = 1
        while i + run < len(line) and run < 255 and line[i + run] == line[i]:
            run += 1
        if run >= 2:
            out += bytes((run, line[i]))
            i += run
            continue
        # A stretch ends where two equal indices begin a run.
        end = i + 1
        while end < len(line) and end - i < 255 and not (
                end + 1 < len(line) and line[end] == line[end + 1]):
            end += 1
        if end - i >= 3:
            out += bytes((0, end - i)) + line[i:end] + b"\0" * ((end - i) % 2)
        else:
            for index in line[i:end]:
                out += bytes((1, index))
        i = end
    return out + b"\0\0"


def unrle8(data, w):
    """The rows back from BI_RLE8, to check the encoding at every build."""
    rows, row, i = [], bytearray(), 0
    while True:
        count, value = data[i], data[i + 1]
        i += 2
        if count:
            row += bytes((value,)) * count
        elif value in (0, 1):
            assert len(row) == w
            rows.append(bytes(row))
            row = bytearray()
            if value == 1:
                return rows
        else:
            row += data[i:i + value]
            i += value + value % 2


def bmp8(rows, run_length=False):
    """A bottom-up BMP of 8 bits a pixel with a colour table of exactly the colours used: the same
    pixels as 24 bits, in a third of the space; run-length encoded (BI_RLE8) on request, which every
    logo takes: the program expands them itself, as LoadImageW makes no DIB section of them."""
    h, w = len(rows), len(rows[0])
    colours = list(dict.fromkeys(c for row in rows for c in row))
    assert len(colours) <= 256
    index = {c: i for i, c in enumerate(colours)}
    table = b"".join(bytes((b, g, r, 0)) for r, g, b in colours)
    stride = (w + 3) & ~3
    pixels = bytearray()
    for row in reversed(rows):  # bottom-up
        line = bytes(index[c] for c in row)
        pixels += rle8_line(line) if run_length else line + b"\0" * (stride - len(line))
    if run_length:
        pixels[-2:] = b"\0\1"  # the end of the picture instead of the last row's end
        assert unrle8(pixels, w) == [bytes(index[c] for c in row) for row in reversed(rows)]
    compression = 1 if run_length else 0  # BI_RLE8, BI_RGB
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 8, compression, len(pixels), 2835, 2835,
                       len(colours), 0)
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
    for path, size, run_length in ((logo_path, (54, 49), True), (logo_150_path, (81, 74), True),
                                   (logo_200_path, (108, 98), True)):
        with open(path, "wb") as f:
            f.write(bmp8(mark(size, KEY), run_length))
    with open(icon_path, "wb") as f:
        f.write(ico([16, 24, 32, 48, 64]))


if __name__ == "__main__":
    main()
