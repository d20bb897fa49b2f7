#!/usr/bin/env python3
"""Draws the window icon (an orange signpost with a white arrow) as 32x32 and 16x16 PNGs.

Plain Python, no imaging library: shapes are tested per sub-sample and written with zlib.
Run from the repository root: python3 tools/make_icon.py
"""
import struct
import zlib

ORANGE = (255, 140, 0)
ORANGE_EDGE = (190, 90, 0)
POLE = (110, 70, 35)
WHITE = (255, 255, 255)


def inside_polygon(x, y, points):
    hit = False
    for i, (x1, y1) in enumerate(points):
        x2, y2 = points[i - 1]
        if (y1 > y) != (y2 > y) and x < (x2 - x1) * (y - y1) / (y2 - y1) + x1:
            hit = not hit
    return hit


def shrink(points, cx, cy, by):
    return [(x + (cx - x) * by, y + (cy - y) * by) for x, y in points]


# The design on a 32-unit square; the 16 px image is the same drawing scaled down.
BOARD = [(2, 4), (23, 4), (30.5, 12), (23, 20), (2, 20)]
BOARD_INNER = shrink(BOARD, 15, 12, 0.12)
POLE_RECT = (13, 19, 18, 31.5)
ARROW = [(6, 10.5), (17, 10.5), (17, 7), (25, 12), (17, 17), (17, 13.5), (6, 13.5)]


def colour_at(x, y):
    if inside_polygon(x, y, ARROW):
        return WHITE
    if inside_polygon(x, y, BOARD_INNER):
        return ORANGE
    if inside_polygon(x, y, BOARD):
        return ORANGE_EDGE
    x0, y0, x1, y1 = POLE_RECT
    if x0 <= x < x1 and y0 <= y < y1:
        return POLE
    return None


def render(size, samples=4):
    scale = 32.0 / size
    rows = []
    for py in range(size):
        row = bytearray()
        for px in range(size):
            acc = [0, 0, 0]
            covered = 0
            for sy in range(samples):
                for sx in range(samples):
                    x = (px + (sx + 0.5) / samples) * scale
                    y = (py + (sy + 0.5) / samples) * scale
                    c = colour_at(x, y)
                    if c:
                        covered += 1
                        for i in range(3):
                            acc[i] += c[i]
            if covered:
                row += bytes(round(a / covered) for a in acc)
                row.append(round(255 * covered / samples ** 2))
            else:
                row += b"\0\0\0\0"
        rows.append(bytes(row))
    return rows


def write_png(path, rows):
    size = len(rows)

    def chunk(tag, data):
        body = tag + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    raw = b"".join(b"\0" + r for r in rows)
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", header))
        f.write(chunk(b"IDAT", zlib.compress(raw, 9)))
        f.write(chunk(b"IEND", b""))


if __name__ == "__main__":
    for size in (32, 16):
        write_png("assets/quorvel-%d.png" % size, render(size))
