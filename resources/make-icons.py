#!/usr/bin/env python3
"""Draws the window icon (FORMICON) at 16, 24, 32 and 48 px into resources/icons, and
the same four images as one Windows icon, resources/praatkist.ico (the executable's
icon, shown by Explorer, the Start menu and the list of installed programs), and the
side picture of the setup program's first and last page, resources/praatkist-setup.bmp
(the icon at 96 px on the window's background).

A dark rounded tile with a red record dot inside a cyan ring, in the program's
palette. Plain Python (zlib, struct), 4 x 4 supersampling for smooth edges.
Run it again after changing the drawing; the PNGs are kept in the repository.
"""
import math
import os
import struct
import zlib

TILE = (0x28, 0x2B, 0x31)
EDGE = (0x36, 0x6B, 0xA7)
RING = (0x8B, 0xE5, 0xE8)
DOT = (0xCE, 0x4D, 0x4D)
SUB = 4


def rounded_box_distance(x, y, half, radius):
    # Signed distance to a rounded square centred on 0 (negative inside).
    qx = abs(x) - (half - radius)
    qy = abs(y) - (half - radius)
    outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
    return outside + min(max(qx, qy), 0.0) - radius


def colour_at(u, v):
    """Colour and coverage at a point of the unit square (-0.5 .. 0.5)."""
    d = rounded_box_distance(u, v, 0.48, 0.14)
    if d > 0:
        return None
    r = math.hypot(u, v)
    if r <= 0.20:
        return DOT
    if 0.29 <= r <= 0.36:
        return RING
    if d > -0.035:
        return EDGE
    return TILE


def render(size):
    rows = []
    for py in range(size):
        row = bytearray()
        for px in range(size):
            acc = [0, 0, 0]
            hits = 0
            for sy in range(SUB):
                for sx in range(SUB):
                    u = (px + (sx + 0.5) / SUB) / size - 0.5
                    v = (py + (sy + 0.5) / SUB) / size - 0.5
                    c = colour_at(u, v)
                    if c is not None:
                        hits += 1
                        for i in range(3):
                            acc[i] += c[i]
            if hits:
                row += bytes(round(a / hits) for a in acc)
                row.append(round(255 * hits / (SUB * SUB)))
            else:
                row += b"\0\0\0\0"
        rows.append(bytes(row))
    return rows


def write_png(path, size, rows):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    raw = b"".join(b"\0" + r for r in rows)
    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(raw, 9))
    png += chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


def icon_image(size, rows):
    """One image of a .ico: a 32-bit bottom-up DIB with its AND mask."""
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b""
    mask = b""
    mask_stride = ((size + 31) // 32) * 4
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for x in range(size):
            r, g, b, a = row[4 * x : 4 * x + 4]
            pixels += bytes((b, g, r, a))
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bytes(bits)
    return header + pixels + mask


def write_ico(path, images):
    entries = b""
    data = b""
    offset = 6 + 16 * len(images)
    for size, rows in images:
        image = icon_image(size, rows)
        entries += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(image), offset + len(data))
        data += image
    with open(path, "wb") as f:
        f.write(struct.pack("<HHH", 0, 1, len(images)) + entries + data)


BACKGROUND = (0x1B, 0x1D, 0x21)


def write_side_picture(path, width, height, size):
    """A 24-bit BMP of the window's background with the icon near its top."""
    icon = render(size)
    left = (width - size) // 2
    top = 40
    stride = (3 * width + 3) // 4 * 4
    pixels = b""
    for y in reversed(range(height)):
        row = bytearray()
        for x in range(width):
            r, g, b = BACKGROUND
            if top <= y < top + size and left <= x < left + size:
                ir, ig, ib, a = icon[y - top][4 * (x - left) : 4 * (x - left) + 4]
                r, g, b = (round((c * a + d * (255 - a)) / 255) for c, d in zip((ir, ig, ib), (r, g, b)))
            row += bytes((b, g, r))
        pixels += bytes(row) + b"\0" * (stride - len(row))
    header = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(b"BM" + struct.pack("<IHHI", 14 + len(header) + len(pixels), 0, 0, 14 + len(header)))
        f.write(header + pixels)


def main():
    resources = os.path.dirname(os.path.abspath(__file__))
    here = os.path.join(resources, "icons")
    os.makedirs(here, exist_ok=True)
    images = []
    for size in (16, 24, 32, 48):
        rows = render(size)
        write_png(os.path.join(here, "praatkist-%d.png" % size), size, rows)
        images.append((size, rows))
    write_ico(os.path.join(resources, "praatkist.ico"), images)
    write_side_picture(os.path.join(resources, "praatkist-setup.bmp"), 164, 314, 96)


if __name__ == "__main__":
    main()
