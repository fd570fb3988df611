#!/usr/bin/env python3
# Draws banner.bmp, the strip across the top of every report wizard: a light gradient on which the
# wizard's black heading stays readable on the left, and a report sheet with lines and a shield
# on the right. Run from this folder; the picture is committed beside it.
import struct

W, H = 480, 60


def lerp(a, b, t):
    return int(round(a + (b - a) * t))


def background(x, y):
    t = x / (W - 1)
    # white on the left, light steel blue on the right
    r, g, b = lerp(255, 176, t ** 1.6), lerp(255, 200, t ** 1.6), lerp(255, 228, t ** 1.6)
    if y >= H - 2:  # a darker rule along the bottom edge
        return (96, 128, 176)
    return (r, g, b)


def inside_sheet(x, y):
    return 380 <= x <= 416 and 8 <= y <= 52


def sheet_pixel(x, y):
    if x in (380, 416) or y in (8, 52):
        return (80, 96, 128)
    if 386 <= x <= 410 and y in (16, 22, 28, 34, 40, 46):
        return (120, 140, 176)
    return (252, 252, 255)


def inside_shield(x, y):
    cx, top, bottom, half = 438, 14, 54, 14
    if not (top <= y <= bottom):
        return False
    if y <= top + 18:
        return abs(x - cx) <= half
    # narrowing to a point at the bottom
    k = (bottom - y) / (bottom - top - 18)
    return abs(x - cx) <= half * k


def pixel(x, y):
    if inside_shield(x, y):
        edge = not (inside_shield(x - 1, y) and inside_shield(x + 1, y) and inside_shield(x, y - 1) and inside_shield(x, y + 1))
        return (40, 72, 140) if edge else (72, 112, 188)
    if inside_sheet(x, y):
        return sheet_pixel(x, y)
    return background(x, y)


def write_bmp(path):
    row = bytearray()
    rows = []
    pad = (4 - (W * 3) % 4) % 4
    for y in range(H - 1, -1, -1):
        row = bytearray()
        for x in range(W):
            r, g, b = pixel(x, y)
            row += bytes((b, g, r))
        row += b"\0" * pad
        rows.append(bytes(row))
    data = b"".join(rows)
    header = struct.pack("<2sIHHI", b"BM", 14 + 40 + len(data), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, W, H, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(header + info + data)


if __name__ == "__main__":
    write_bmp("banner.bmp")
