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


MAGENTA = (255, 0, 255)


def glyph(shape, color, u, v):
    """One pixel of a simple picture at (u, v) in [0, 1): a colour, or None for transparent."""
    dark = tuple(c // 2 for c in color)
    light = tuple(min(255, c + (255 - c) // 2) for c in color)
    def box(x0, y0, x1, y1):
        return x0 <= u <= x1 and y0 <= v <= y1
    def edge(x0, y0, x1, y1, w=0.07):
        return box(x0, y0, x1, y1) and not box(x0 + w, y0 + w, x1 - w, y1 - w)
    def disc(cx, cy, r):
        return (u - cx) ** 2 + (v - cy) ** 2 <= r * r
    if shape == 'page':
        if edge(0.2, 0.06, 0.8, 0.94):
            return dark
        if box(0.2, 0.06, 0.8, 0.94):
            return (255, 255, 255) if int(v * 16) % 3 else light
    elif shape == 'exe':
        if edge(0.1, 0.15, 0.9, 0.85):
            return dark
        if box(0.1, 0.15, 0.9, 0.32):
            return color
        if box(0.1, 0.15, 0.9, 0.85):
            return (255, 255, 255)
    elif shape == 'folder':
        if box(0.06, 0.18, 0.45, 0.3):
            return dark
        if edge(0.06, 0.3, 0.94, 0.85):
            return dark
        if box(0.06, 0.3, 0.94, 0.85):
            return color
    elif shape in ('cube', 'box'):
        if edge(0.15, 0.2, 0.85, 0.85):
            return dark
        if box(0.15, 0.2, 0.85, 0.85):
            return light if v < 0.45 else color
    elif shape == 'disk':
        if disc(0.5, 0.5, 0.42):
            if disc(0.5, 0.5, 0.1):
                return dark
            return color if not disc(0.5, 0.5, 0.36) else light
    elif shape == 'chip':
        if box(0.25, 0.25, 0.75, 0.75):
            return dark if edge(0.25, 0.25, 0.75, 0.75) else color
        if (box(0.1, 0.3, 0.9, 0.7) and int(v * 10) % 2 == 0) or (box(0.3, 0.1, 0.7, 0.9) and int(u * 10) % 2 == 0):
            return dark
    elif shape == 'gear':
        r = ((u - 0.5) ** 2 + (v - 0.5) ** 2) ** 0.5
        a = math.atan2(v - 0.5, u - 0.5)
        outer = 0.42 if math.cos(a * 8) > 0 else 0.32
        if r <= outer and r >= 0.13:
            return color if r < outer - 0.07 else dark
    elif shape == 'job':
        if box(0.35, 0.04, 0.65, 0.16):
            return dark
        if edge(0.15, 0.1, 0.85, 0.94):
            return dark
        if box(0.15, 0.1, 0.85, 0.94):
            if box(0.3, 0.3, 0.7, 0.36) or box(0.3, 0.5, 0.7, 0.56) or box(0.3, 0.7, 0.6, 0.76):
                return color
            return (255, 255, 255)
    elif shape == 'person':
        if disc(0.5, 0.3, 0.17):
            return color
        if disc(0.5, 0.95, 0.38) and v > 0.5:
            return dark
    elif shape == 'people':
        if disc(0.32, 0.32, 0.13) or disc(0.68, 0.32, 0.13):
            return color
        if (disc(0.32, 0.95, 0.26) or disc(0.68, 0.95, 0.26)) and v > 0.5:
            return dark
    elif shape == 'computer':
        if edge(0.1, 0.12, 0.9, 0.68):
            return dark
        if box(0.1, 0.12, 0.9, 0.68):
            return color
        if box(0.4, 0.68, 0.6, 0.8) or box(0.25, 0.8, 0.75, 0.9):
            return dark
    elif shape == 'left' or shape == 'right':
        x = u if shape == 'right' else 1 - u
        if box(0.15, 0.4, 0.6, 0.6) and shape and x < 0.6 or (x >= 0.5 and abs(v - 0.5) <= (0.9 - x) * 0.9 and x <= 0.9):
            if 0.12 <= x:
                return color
    elif shape == 'home':
        if v < 0.5 and abs(u - 0.5) <= v - 0.05:
            return dark
        if box(0.2, 0.5, 0.8, 0.9):
            return dark if box(0.42, 0.62, 0.58, 0.9) else color
    elif shape == 'find':
        if disc(0.4, 0.4, 0.28) and not disc(0.4, 0.4, 0.18):
            return dark
        if disc(0.4, 0.4, 0.18):
            return light
        if u > 0.55 and v > 0.55 and abs(u - v) < 0.1 and u < 0.92:
            return color
    elif shape == 'save':
        if edge(0.1, 0.1, 0.9, 0.9):
            return dark
        if box(0.28, 0.1, 0.72, 0.38):
            return (255, 255, 255)
        if box(0.1, 0.1, 0.9, 0.9):
            return color
    elif shape == 'help':
        if disc(0.5, 0.5, 0.42):
            q = (disc(0.5, 0.38, 0.2) and not disc(0.5, 0.38, 0.1) and not (v > 0.38 and u < 0.5)) or \
                box(0.45, 0.55, 0.55, 0.66) or box(0.45, 0.74, 0.55, 0.84)
            return (255, 255, 255) if q else color
    elif shape == 'plus' or shape == 'minus':
        if box(0.15, 0.42, 0.85, 0.58) or (shape == 'plus' and box(0.42, 0.15, 0.58, 0.85)):
            return color
    elif shape == 'cross':
        if (abs(u - v) < 0.1 or abs(u + v - 1) < 0.1) and 0.12 < u < 0.88:
            return color
    elif shape == 'new':
        if edge(0.2, 0.06, 0.8, 0.94):
            return dark
        if box(0.2, 0.06, 0.8, 0.94):
            return (255, 255, 255)
        if disc(0.8, 0.2, 0.16):
            return color
    elif shape == 'members':
        if box(0.1, 0.1, 0.5, 0.3) or box(0.3, 0.4, 0.7, 0.6) or box(0.5, 0.7, 0.9, 0.9):
            return color
        if box(0.18, 0.3, 0.24, 0.5) or box(0.38, 0.6, 0.44, 0.8):
            return dark
    elif shape == 'props':
        if edge(0.1, 0.1, 0.9, 0.9):
            return dark
        if box(0.1, 0.1, 0.9, 0.9):
            return color if box(0.25, 0.3, 0.75, 0.38) or box(0.25, 0.5, 0.75, 0.58) or box(0.25, 0.7, 0.6, 0.78) else (255, 255, 255)
    elif shape == 'dot':
        if disc(0.5, 0.5, 0.3):
            return color if not disc(0.42, 0.42, 0.1) else light
    elif shape == 'blank':
        return None
    return None


def strip(pictures, cx, cy, gray=False, bright=False):
    """A pixel function over a strip of pictures (shape, colour), cx by cy each; magenta around."""
    def pixel(x, y):
        i, px = divmod(x, cx)
        shape, color = pictures[i]
        c = glyph(shape, color, (px + 0.5) / cx, (y + 0.5) / cy)
        if c is None:
            return MAGENTA
        if gray:
            g = 96 + sum(c) // 6
            return (g, g, g)
        if bright:
            return tuple(min(255, v + 50) for v in c)
        return c
    return pixel


# Node icons 0-23 of the tree and the lists (the numbering the views use).
NODE_ICONS = [
    ('blank', (0, 0, 0)), ('gear', (120, 120, 120)), ('blank', (0, 0, 0)), ('folder', (240, 190, 60)),
    ('page', (90, 110, 180)), ('folder', (220, 170, 50)), ('cube', (60, 150, 200)), ('cube', (40, 100, 170)),
    ('disk', (150, 150, 150)), ('chip', (40, 140, 70)), ('box', (230, 180, 60)), ('box', (70, 140, 210)),
    ('box', (150, 150, 150)), ('box', (60, 160, 90)), ('computer', (70, 120, 200)), ('person', (200, 120, 60)),
    ('people', (180, 100, 60)), ('blank', (0, 0, 0)), ('exe', (40, 90, 200)), ('blank', (0, 0, 0)),
    ('job', (170, 60, 60)), ('blank', (0, 0, 0)), ('blank', (0, 0, 0)), ('gear', (40, 120, 200)),
]
# State icons of the tree: in use, isolated, without members, without upper nodes.
STATE_ICONS = [('dot', (40, 170, 60)), ('dot', (200, 40, 40)), ('dot', (230, 200, 40)), ('dot', (240, 130, 30))]
# Buttons of the main toolbar: save, back, forward, home, find, task generator, settings, help.
MAIN_TOOLBAR = [('save', (60, 90, 170)), ('left', (40, 140, 60)), ('right', (40, 140, 60)), ('home', (170, 90, 40)),
                ('find', (60, 100, 180)), ('gear', (150, 100, 40)), ('props', (90, 90, 160)), ('help', (50, 110, 200))]
# Buttons of the structure bar: new, add members, exclude, delete, properties.
TREE_TOOLBAR = [('new', (40, 160, 60)), ('members', (60, 110, 190)), ('minus', (200, 120, 30)),
                ('cross', (200, 40, 40)), ('props', (90, 90, 160))]
# Categories: resources, groups, tasks, jobs, subjects.
CATEGORIES = [('page', (90, 110, 180)), ('box', (230, 180, 60)), ('gear', (40, 120, 200)), ('job', (170, 60, 60)),
              ('computer', (70, 120, 200))]


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
    write_bmp('toolbar.bmp', 16 * 8, 16, strip(MAIN_TOOLBAR, 16, 16))
    write_bmp('toolbar_hot.bmp', 16 * 8, 16, strip(MAIN_TOOLBAR, 16, 16, bright=True))
    write_bmp('toolbar_disabled.bmp', 16 * 8, 16, strip(MAIN_TOOLBAR, 16, 16, gray=True))
    write_bmp('structure_toolbar.bmp', 16 * 5, 16, strip(TREE_TOOLBAR, 16, 16))
    write_bmp('categories.bmp', 48 * 5, 48, strip(CATEGORIES, 48, 48))
    write_bmp('caption.bmp', 16 * 6, 16, strip([('computer', (40, 110, 200))] + CATEGORIES, 16, 16))
    write_bmp('node_icons.bmp', 16 * 24, 16, strip(NODE_ICONS, 16, 16))
    write_bmp('state_icons.bmp', 16 * 4, 14, strip(STATE_ICONS, 16, 14))
    sys.exit(0)
