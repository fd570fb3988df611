#!/usr/bin/env python3
"""Draws the lists' pictures: the column dialog's button bitmaps, the relation pane's toolbar and
the header divider cursor. Run once after a change; the results are kept beside the resource script."""
import os
import struct

from make_assets import CATEGORIES, OUT, strip, write_bmp

FACE = (212, 208, 200)


def arrow(kind, hot):
    """A 16x16 button picture: one or two arrows pointing right, left, up or down."""
    color = (30, 110, 200) if hot else (20, 70, 150)

    def pixel(x, y):
        u, v = (x + 0.5) / 16, (y + 0.5) / 16
        if kind in ('up', 'down'):
            u, v = v, u
        direction = kind in ('right', 'right2', 'down')
        t = u if direction else 1 - u
        # Heads from their base (wide) to their tip (narrow), pointing toward growing t.
        heads = [(0.45, 0.85)] if kind not in ('right2', 'left2') else [(0.15, 0.5), (0.5, 0.85)]
        for base, tip in heads:
            if base <= t <= tip and abs(v - 0.5) <= (tip - t) * 1.0:
                return color
        if len(heads) == 1 and 0.15 <= t <= 0.45 and abs(v - 0.5) <= 0.09:
            return color
        return FACE
    return pixel


def write_cursor(name):
    """A 32x32 monochrome cursor: a vertical bar with arrows left and right, hot spot in the middle."""
    size = 32
    black = set()
    for y in range(8, 24):
        black.add((15, y))
        black.add((16, y))
    for x in range(4, 28):
        black.add((x, 15)) if x not in (15, 16) else None
    for d in range(1, 5):
        for s in range(-d, d + 1):
            black.add((4 + d, 15 + s))
            black.add((27 - d, 15 + s))
    xor_rows, and_rows = [], []
    for y in reversed(range(size)):
        xr, ar = bytearray(4), bytearray(b'\xff' * 4)
        for x in range(size):
            if (x, y) in black:
                ar[x // 8] &= ~(0x80 >> (x % 8)) & 0xFF
        xor_rows.append(bytes(xr))
        and_rows.append(bytes(ar))
    info = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 1, 0, 0, 0, 0, 2, 0)
    palette = bytes((0, 0, 0, 0, 255, 255, 255, 0))
    image = info + palette + b''.join(xor_rows) + b''.join(and_rows)
    header = struct.pack('<HHH', 0, 2, 1)
    entry = struct.pack('<BBBBHHII', size, size, 0, 0, 15, 15, len(image), 6 + 16)
    open(os.path.join(OUT, name), 'wb').write(header + entry + image)


if __name__ == '__main__':
    for name, kind, hot in [('column_include', 'right', False), ('column_exclude', 'left', False),
                            ('column_include_all', 'right2', False), ('column_exclude_all', 'left2', False),
                            ('column_up', 'up', False), ('column_up_hot', 'up', True),
                            ('column_down', 'down', False), ('column_down_hot', 'down', True)]:
        write_bmp(name + '.bmp', 16, 16, arrow(kind, hot))
    write_bmp('relations_toolbar.bmp', 16 * 5, 16, strip(CATEGORIES, 16, 16))
    write_cursor('list_divider.cur')
