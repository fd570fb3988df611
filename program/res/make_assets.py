#!/usr/bin/env python3
"""Draws the program's pictures: icons, the settings tree images, the About picture and the
wait animation. Run once after a change; the results are kept beside the resource script."""
import math
import struct
import sys
import os

OUT = os.path.dirname(os.path.abspath(__file__))


def shield(size):
    """RGBA rows (top first) of a blue shield with a white check mark."""
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            u = (x + 0.5) / size * 2 - 1
            v = (y + 0.5) / size
            half = 0.85 if v < 0.55 else 0.85 * max(0.0, 1 - (v - 0.55) / 0.45)
            inside = abs(u) <= half and 0.06 < v < 0.98
            if not inside:
                row.append((0, 0, 0, 0))
                continue
            edge = abs(u) > half - 0.12 or v < 0.14
            color = (20, 60, 140) if edge else (40, 110, 200)
            # check mark
            cx, cy = u, v
            d1 = abs((cy - 0.55) - (cx + 0.35) * 0.9) < 0.09 and -0.45 < cx < -0.05
            d2 = abs((cy - 0.75) + (cx + 0.05) * 1.3) < 0.09 and -0.1 < cx < 0.45
            if d1 or d2:
                color = (255, 255, 255)
            row.append(color + (255,))
        rows.append(row)
    return rows


def ico_image(size):
    rows = shield(size)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, size * size * 4, 0, 0, 0, 0)
    pixels = b''.join(bytes((b, g, r, a)) for row in reversed(rows) for (r, g, b, a) in row)
    mask_row = ((size + 31) // 32) * 4
    mask = b''
    for row in reversed(rows):
        bits = 0
        data = bytearray(mask_row)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                data[x // 8] |= 0x80 >> (x % 8)
        mask += bytes(data)
    return header + pixels + mask


def write_ico(name, sizes):
    images = [ico_image(s) for s in sizes]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for s, img in zip(sizes, images):
        out += struct.pack('<BBBBHHII', s % 256, s % 256, 0, 0, 1, 32, len(img), offset)
        offset += len(img)
    out += b''.join(images)
    open(os.path.join(OUT, name), 'wb').write(out)


def write_bmp(name, width, height, pixel):
    row_size = (width * 3 + 3) // 4 * 4
    data = bytearray()
    for y in reversed(range(height)):
        row = bytearray()
        for x in range(width):
            r, g, b = pixel(x, y)
            row += bytes((b, g, r))
        row += b'\0' * (row_size - len(row))
        data += row
    header = struct.pack('<2sIHHI', b'BM', 14 + 40 + len(data), 0, 0, 54)
    info = struct.pack('<IiiHHIIiiII', 40, width, height, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    open(os.path.join(OUT, name), 'wb').write(header + info + bytes(data))


def tree_pixel(x, y):
    """Three 16x16 images: page (0), open folder (1), closed folder (2); magenta is transparent."""
    img, px = divmod(x, 16)
    if img == 0:
        if 3 <= px <= 12 and 1 <= y <= 14:
            if px in (3, 12) or y in (1, 14):
                return (60, 60, 60)
            return (255, 255, 255) if y % 3 else (120, 140, 200)
        return (255, 0, 255)
    top = 3 if img == 2 else 5
    if 1 <= px <= 14 and top <= y <= 13:
        if img == 1 and y >= 7:
            return (250, 210, 90) if 2 <= px <= 13 else (160, 120, 30)
        if px in (1, 14) or y in (top, 13):
            return (160, 120, 30)
        return (240, 190, 60)
    if 1 <= px <= 6 and y == top - 1:
        return (160, 120, 30)
    return (255, 0, 255)


def about_pixel(x, y):
    t = y / 245
    r, g, b = int(20 + 40 * t), int(60 + 80 * t), int(140 + 90 * t)
    s = shield(40)
    ox, oy = 8, 20
    if 0 <= x - ox < 40 and 0 <= y - oy < 40:
        pr, pg, pb, pa = s[y - oy][x - ox]
        if pa:
            return (pr, pg, pb)
    return (r, g, b)


def write_avi(name, size=32, frames=12):
    frame_size = size * size * 3
    def frame(i):
        data = bytearray()
        angle0 = 2 * math.pi * i / frames
        for y in reversed(range(size)):
            for x in range(size):
                color = (236, 233, 216)
                for k in range(8):
                    a = angle0 + k * 2 * math.pi / 8
                    cx = size / 2 + math.cos(a) * size * 0.32
                    cy = size / 2 + math.sin(a) * size * 0.32
                    if (x + 0.5 - cx) ** 2 + (y + 0.5 - cy) ** 2 <= (size * 0.08) ** 2:
                        shade = int(40 + 200 * k / 8)
                        color = (shade, shade, 255)
                data += bytes((color[2], color[1], color[0]))
        return bytes(data)

    def chunk(tag, payload):
        pad = b'\0' if len(payload) % 2 else b''
        return tag + struct.pack('<I', len(payload)) + payload + pad

    def lst(kind, payload):
        return chunk(b'LIST', kind + payload)

    usec = 100000
    avih = struct.pack('<IIIIIIIIII4I', usec, frame_size * 10, 0, 0x10, frames, 0, 1, frame_size, size, size, 0, 0, 0, 0)
    strh = struct.pack('<4s4sIHHIIIIIIIIhhhh', b'vids', b'DIB ', 0, 0, 0, 0, 1, 10, 0, frames, frame_size, 0xFFFFFFFF,
                       0, 0, 0, size, size)
    strf = struct.pack('<IiiHHIIiiII', 40, size, size, 1, 24, 0, frame_size, 0, 0, 0, 0)
    hdrl = lst(b'hdrl', chunk(b'avih', avih) + lst(b'strl', chunk(b'strh', strh) + chunk(b'strf', strf)))
    movi_items = b''
    index = b''
    offset = 4
    for i in range(frames):
        c = chunk(b'00db', frame(i))
        index += struct.pack('<4sIII', b'00db', 0x10, offset, frame_size)
        movi_items += c
        offset += len(c)
    movi = lst(b'movi', movi_items)
    body = b'AVI ' + hdrl + movi + chunk(b'idx1', index)
    open(os.path.join(OUT, name), 'wb').write(b'RIFF' + struct.pack('<I', len(body)) + body)


if __name__ == '__main__':
    write_ico('VICheck64.ico', [32, 16, 48])
    write_ico('small.ico', [16])
    write_bmp('settings_tree.bmp', 48, 16, tree_pixel)
    write_bmp('about.bmp', 57, 246, about_pixel)
    write_avi('wait.avi')
    sys.exit(0)
