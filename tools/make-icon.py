#!/usr/bin/env python3
"""Draws the program's icon, one 48x48 32-bit image, into ui/resources/quorvane.ico.

The artwork: a rounded tile in a teal gradient carrying a white check mark under
a small seal ring. Drawn with 4x4 supersampling for soft edges; only the
standard library is needed.
"""
import math
import struct
import sys

SIZE = 48
SUB = 4


def rounded_tile(x, y):
    # Inside a square of side 44 at (2, 2) with corner radius 9.
    left, top, right, bottom, radius = 2.0, 2.0, 46.0, 46.0, 9.0
    cx = min(max(x, left + radius), right - radius)
    cy = min(max(y, top + radius), bottom - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2 and left <= x <= right and top <= y <= bottom


def segment_distance(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)))
    return math.hypot(px - (ax + t * dx), py - (ay + t * dy))


def check_mark(x, y):
    width = 3.2
    return (segment_distance(x, y, 13.0, 26.0, 21.0, 34.0) <= width
            or segment_distance(x, y, 21.0, 34.0, 36.0, 16.0) <= width)


def seal_ring(x, y):
    r = math.hypot(x - 35.0, y - 34.5)
    return 5.0 <= r <= 7.0


def pixel(px, py):
    tile = mark = ring = 0
    for sy in range(SUB):
        for sx in range(SUB):
            x = px + (sx + 0.5) / SUB
            y = py + (sy + 0.5) / SUB
            if rounded_tile(x, y):
                tile += 1
                if check_mark(x, y):
                    mark += 1
                elif seal_ring(x, y):
                    ring += 1
    n = SUB * SUB
    if tile == 0:
        return (0, 0, 0, 0)
    t = (px + py) / (2.0 * SIZE)
    base = (int(20 + 30 * t), int(150 - 70 * t), int(160 - 40 * t))
    white = (255, 255, 255)
    gold = (240, 190, 60)
    cover = tile / n
    fm, fr = mark / tile, ring / tile
    fb = 1.0 - fm - fr
    rgb = [int(round(base[i] * fb + white[i] * fm + gold[i] * fr)) for i in range(3)]
    return (rgb[0], rgb[1], rgb[2], int(round(255 * cover)))


def icon_bytes():
    rows = [[pixel(x, y) for x in range(SIZE)] for y in range(SIZE)]
    header = struct.pack('<IiiHHIIiiII', 40, SIZE, SIZE * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    colour = bytearray()
    for y in reversed(range(SIZE)):
        for r, g, b, a in rows[y]:
            colour += bytes((b, g, r, a))
    mask_row = (SIZE + 31) // 32 * 4
    mask = bytearray()
    for y in reversed(range(SIZE)):
        bits = bytearray(mask_row)
        for x in range(SIZE):
            if rows[y][x][3] == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    image = header + colour + mask
    directory = struct.pack('<HHH', 0, 1, 1)
    entry = struct.pack('<BBBBHHII', SIZE, SIZE, 0, 0, 1, 32, len(image), 6 + 16)
    return directory + entry + image


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else 'ui/resources/quorvane.ico'
    with open(out, 'wb') as f:
        f.write(icon_bytes())


if __name__ == '__main__':
    main()
