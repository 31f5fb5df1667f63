#!/usr/bin/env python3
"""Draws the program's icons and writes them as .ico and .png files.

    draw_icons.py [OUTPUT_DIR]     (default: the directory of this script)

main.ico      a magnifying glass: 48, 32 and 16 pixels, each at 8 and 24 bits
pinned.ico    a pin seen head-on, 16 x 16, 16 colours
unpinned.ico  a pin seen from the side, 16 x 16, 16 colours
hicolor/NxN/apps/fencat-window.png
              the magnifying glass again, for the Linux desktop's icon theme,
              at 16, 24, 32, 48, 64, 128 and 256 pixels, 8-bit RGBA

Every shape is a function of the pixel position; each pixel is sampled on a
4 x 4 grid. In the .ico files a pixel that the shape covers at least half
is opaque; in the .png files its opacity is the share covered, so edges
are smooth. The output depends on nothing but this script (and zlib's
level 9), so it can be checked byte for byte against the committed files.
"""

import math
import os
import struct
import sys
import zlib

SAMPLES = 4
# The sizes the desktop's hicolor theme asks for.
PNG_SIZES = (16, 24, 32, 48, 64, 128, 256)

# The system's 16-colour palette.
VGA16 = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]


def palette_256():
    """A 6 x 6 x 6 colour cube and 40 greys between its levels."""
    levels = [0, 51, 102, 153, 204, 255]
    colours = [(r, g, b) for r in levels for g in levels for b in levels]
    greys = [round(i * 255 / 41) for i in range(1, 42)]
    colours += [(g, g, g) for g in greys if (g, g, g) not in colours]
    return (colours + [(0, 0, 0)] * 256)[:256]


def mix(a, b, t):
    t = min(max(t, 0.0), 1.0)
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


def segment_distance(px, py, ax, ay, bx, by):
    """Distance from a point to a segment, and where along it (0..1) it lies."""
    dx, dy = bx - ax, by - ay
    t = ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)
    t = min(max(t, 0.0), 1.0)
    return math.hypot(px - (ax + t * dx), py - (ay + t * dy)), t


# ---- the shapes; each takes a point of the unit square and gives a colour or
# None (not covered) ----------------------------------------------------------

def magnifier(x, y):
    cx, cy = 0.40, 0.40
    outer, inner = 0.34, 0.255
    r = math.hypot(x - cx, y - cy)
    # Handle first: it lies under the rim where they meet.
    d, t = segment_distance(x, y, 0.63, 0.63, 0.91, 0.91)
    if r > inner and d <= 0.085:
        across = ((x - y) / math.sqrt(2)) / 0.085  # -1..1 across the handle
        base = mix((92, 52, 24), (40, 20, 8), t * 0.6)
        return mix(base, (190, 130, 80), 0.55 * max(0.0, 1.0 - abs(across + 0.35) * 2.2))
    if inner < r <= outer:
        # Metal rim, lit from the upper left.
        light = 0.5 - ((x - cx) + (y - cy)) / (2 * outer)
        return mix((70, 78, 90), (230, 235, 240), light)
    if r <= inner:
        # Glass: bluish, brighter toward the light, with a glint.
        if math.hypot(x - 0.31, y - 0.31) <= 0.055:
            return (255, 255, 255)
        light = 0.5 - ((x - cx) + (y - cy)) / (2 * inner)
        return mix((120, 170, 215), (205, 230, 250), light)
    return None


def pin_head_on(x, y):
    cx, cy = 0.5, 0.5
    r = math.hypot(x - cx, y - cy)
    if r > 0.44:
        return None
    if r > 0.36:
        return (128, 0, 0)  # the rim
    if math.hypot(x - 0.38, y - 0.37) <= 0.09:
        return (255, 255, 255)  # the shine
    if r <= 0.09:
        return (128, 0, 0)  # where the needle starts, behind the head
    return (255, 0, 0)


def pin_from_side(x, y):
    # The pin lies from its needle tip (lower left) to its head (upper right).
    ax, ay, bx, by = 0.10, 0.90, 0.88, 0.12
    length = math.hypot(bx - ax, by - ay)
    ux, uy = (bx - ax) / length, (by - ay) / length
    u = ((x - ax) * ux + (y - ay) * uy) / length  # 0 at the tip, 1 at the head
    v = ((x - ax) * -uy + (y - ay) * ux)  # across, in units of the square
    if u < 0.0 or u > 1.0:
        return None
    lit = v < 0  # the side toward the upper left
    if u < 0.46:
        if abs(v) <= 0.05:
            return (128, 128, 128) if lit else (0, 0, 0)
        return None
    if u < 0.56:
        width = 0.20
    elif u < 0.82:
        width = 0.12
    else:
        width = 0.22
    if abs(v) > width:
        return None
    if abs(v) > width - 0.06:
        return (255, 0, 0) if lit else (128, 0, 0)
    return (255, 0, 0)


# ---- rendering -----------------------------------------------------------------

def pixel_hits(shape, size, px, py):
    """The colours of the samples of one pixel that the shape covers."""
    hits = []
    for sy in range(SAMPLES):
        for sx in range(SAMPLES):
            c = shape((px + (sx + 0.5) / SAMPLES) / size, (py + (sy + 0.5) / SAMPLES) / size)
            if c is not None:
                hits.append(c)
    return hits


def average(hits):
    return tuple(round(sum(c[i] for c in hits) / len(hits)) for i in range(3))


def render(shape, size):
    """Rows of (colour or None), top row first."""
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            hits = pixel_hits(shape, size, px, py)
            row.append(average(hits) if len(hits) * 2 >= SAMPLES * SAMPLES else None)
        rows.append(row)
    return rows


def render_rgba(shape, size):
    """Rows of (r, g, b, a), top row first; a is the share of samples covered."""
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            hits = pixel_hits(shape, size, px, py)
            if hits:
                row.append(average(hits) + (round(255 * len(hits) / (SAMPLES * SAMPLES)),))
            else:
                row.append((0, 0, 0, 0))
        rows.append(row)
    return rows


def png(rows):
    """An 8-bit RGBA PNG: signature, IHDR, one IDAT (no row filters), IEND."""
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    size = len(rows)
    raw = b"".join(b"\0" + bytes(v for pixel in row for v in pixel) for row in rows)
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9)) +
            chunk(b"IEND", b""))


def nearest(palette, colour):
    best, best_distance = 0, None
    for index, p in enumerate(palette):
        distance = sum((p[i] - colour[i]) ** 2 for i in range(3))
        if best_distance is None or distance < best_distance:
            best, best_distance = index, distance
    return best


def padded(data):
    return data + b"\0" * (-len(data) % 4)


def dib(rows, bits, palette):
    """One icon image: header, palette, colour bits and mask, rows bottom up."""
    size = len(rows)
    colour_rows, mask_rows = [], []
    for row in reversed(rows):
        if bits == 24:
            line = b"".join(bytes((c[2], c[1], c[0])) if c else b"\0\0\0" for c in row)
        else:
            indices = [nearest(palette, c) if c else 0 for c in row]
            if bits == 8:
                line = bytes(indices)
            else:
                line = bytes((indices[i] << 4) | indices[i + 1] for i in range(0, size, 2))
        colour_rows.append(padded(line))
        mask = bytearray((size + 7) // 8)
        for i, c in enumerate(row):
            if c is None:
                mask[i // 8] |= 0x80 >> (i % 8)
        mask_rows.append(padded(bytes(mask)))
    pixels = b"".join(colour_rows) + b"".join(mask_rows)
    colours = len(palette) if bits <= 8 else 0
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bits, 0, len(pixels), 0, 0, colours, 0)
    table = b"".join(bytes((p[2], p[1], p[0], 0)) for p in palette) if bits <= 8 else b""
    return header + table + pixels


def ico(images):
    """images: (size, bits, dib bytes)."""
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, bits, data in images:
        colour_count = 16 if bits == 4 else 0
        out += struct.pack("<BBBBHHII", size % 256, size % 256, colour_count, 0, 1, bits, len(data), offset)
        offset += len(data)
    return out + b"".join(data for _, _, data in images)


def main():
    out_dir = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    os.makedirs(out_dir, exist_ok=True)
    p256 = palette_256()
    main_images = []
    for size in (48, 32, 16):
        rows = render(magnifier, size)
        main_images.append((size, 8, dib(rows, 8, p256)))
        main_images.append((size, 24, dib(rows, 24, None)))
    files = {
        "main.ico": ico(main_images),
        "pinned.ico": ico([(16, 4, dib(render(pin_head_on, 16), 4, VGA16))]),
        "unpinned.ico": ico([(16, 4, dib(render(pin_from_side, 16), 4, VGA16))]),
    }
    for size in PNG_SIZES:
        files[f"hicolor/{size}x{size}/apps/fencat-window.png"] = png(render_rgba(magnifier, size))
    for name, data in files.items():
        path = os.path.join(out_dir, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
