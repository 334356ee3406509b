#!/usr/bin/env python3
"""Draws the program's 32x32 icon (app/tabulon.png): a table on the left feeding a bar chart
on the right, on a rounded blue tile. Run it again after changing the drawing; the PNG is
committed so that building needs no Python."""

import struct
import sys
import zlib

SIZE = 32
TILE = (31, 95, 160, 255)
PAPER = (250, 250, 250, 255)
GRID = (120, 140, 160, 255)
BARS = [(242, 142, 43, 255), (89, 161, 79, 255), (225, 87, 89, 255)]


def inside_rounded(x, y, radius=5):
    cx = min(max(x, radius), SIZE - 1 - radius)
    cy = min(max(y, radius), SIZE - 1 - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius * radius


def pixel(x, y):
    if not inside_rounded(x, y):
        return (0, 0, 0, 0)
    # The table: a white sheet with grid lines.
    if 4 <= x <= 15 and 6 <= y <= 25:
        if x in (4, 15) or y in (6, 25) or y % 4 == 2 or x == 9:
            return GRID
        return PAPER
    # The chart: three bars of rising height on a base line.
    if 17 <= x <= 28 and y == 26:
        return PAPER
    for i, colour in enumerate(BARS):
        left = 18 + i * 4
        top = 18 - i * 5
        if left <= x <= left + 2 and top <= y <= 25:
            return colour
    return TILE


def png(width, height, rows):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    raw = b"".join(b"\x00" + bytes(c for px in row for c in px) for row in rows)
    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9))
            + chunk(b"IEND", b""))


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else "tabulon.png"
    rows = [[pixel(x, y) for x in range(SIZE)] for y in range(SIZE)]
    with open(out, "wb") as f:
        f.write(png(SIZE, SIZE, rows))


if __name__ == "__main__":
    main()
