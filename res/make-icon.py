#!/usr/bin/env python3
"""Draws the program's icon, flashgate.ico: a white arrow pointing up through
an amber gate bar on a blue tile, at 16, 32 and 48 pixels in 16 colours, so
that it stays small.

Run it from anywhere; it writes flashgate.ico beside itself.
"""
import pathlib
import struct

BLUE = (0x1F, 0x4E, 0x99)
WHITE = (0xFF, 0xFF, 0xFF)
AMBER = (0xF2, 0xA9, 0x00)
# Palette: 0 is transparent, 1..8 blend blue into white, 9..15 blue into amber.
SHADES = 8
SUPERSAMPLING = 4


def inside_tile(x, y):
    """The tile: a square with rounded corners, in units of the icon's side."""
    r, lo, hi = 0.18, 0.03, 0.97
    cx, cy = min(max(x, lo + r), hi - r), min(max(y, lo + r), hi - r)
    return lo <= x <= hi and lo <= y <= hi and (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def inside_arrow(x, y):
    head = 0.16 <= y <= 0.50 and abs(x - 0.5) <= (y - 0.16) * 0.95
    stem = 0.49 <= y <= 0.84 and abs(x - 0.5) <= 0.09
    return head or stem


def inside_bar(x, y):
    return 0.62 <= y <= 0.72 and 0.16 <= x <= 0.84


def draw(size):
    """Palette indices (top row first) and the transparency mask."""
    n = SUPERSAMPLING
    pixels, mask = [], []
    for row in range(size):
        for col in range(size):
            points = [((col + (i + 0.5) / n) / size, (row + (j + 0.5) / n) / size)
                      for i in range(n) for j in range(n)]
            tile = sum(inside_tile(x, y) for x, y in points)
            amber = sum(inside_bar(x, y) for x, y in points) / len(points)
            white = sum(inside_arrow(x, y) and not inside_bar(x, y) for x, y in points) / len(points)
            opaque = tile * 2 >= len(points)
            mask.append(not opaque)
            if not opaque:
                pixels.append(0)
            elif amber > white:
                pixels.append(SHADES + max(1, round(amber * (SHADES - 1))))
            else:
                pixels.append(1 + round(white * (SHADES - 1)))
    return pixels, mask


def palette():
    def blend(to, t):
        return tuple(round(b + (c - b) * t) for b, c in zip(BLUE, to))

    entries = [(0, 0, 0)]
    entries += [blend(WHITE, shade / (SHADES - 1)) for shade in range(SHADES)]
    entries += [blend(AMBER, shade / (SHADES - 1)) for shade in range(1, SHADES)]
    return b"".join(struct.pack("<BBBB", b_, g, r, 0) for r, g, b_ in entries)


def bitmap(size):
    """One icon image: a 4-bit DIB of double height, colours then mask, bottom row first."""
    pixels, mask = draw(size)
    colour_row, mask_row = (size // 2 + 3) & ~3, ((size + 7) // 8 + 3) & ~3
    colours, masks = b"", b""
    for row in reversed(range(size)):
        line = pixels[row * size:(row + 1) * size]
        packed = bytes((line[i] << 4) | line[i + 1] for i in range(0, size, 2))
        colours += packed.ljust(colour_row, b"\0")
        bits = mask[row * size:(row + 1) * size]
        packed = bytes(sum(bits[i + k] << (7 - k) for k in range(8) if i + k < size)
                       for i in range(0, size, 8))
        masks += packed.ljust(mask_row, b"\0")
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0,
                         len(colours) + len(masks), 0, 0, 16, 0)
    return header + palette() + colours + masks


def icon(sizes):
    images = [bitmap(size) for size in sizes]
    offset = 6 + 16 * len(images)
    directory = struct.pack("<HHH", 0, 1, len(images))
    for size, image in zip(sizes, images):
        directory += struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4, len(image), offset)
        offset += len(image)
    return directory + b"".join(images)


if __name__ == "__main__":
    out = pathlib.Path(__file__).with_name("flashgate.ico")
    out.write_bytes(icon([16, 32, 48]))
