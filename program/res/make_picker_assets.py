#!/usr/bin/env python3
"""Draws the registry picker's tree images (root, selected key, key, value; 16x16 each, magenta
transparent). Run once after a change; the result is kept beside the resource script."""
from make_assets import strip, write_bmp

REGISTRY_TREE = [('computer', (70, 120, 200)), ('folder', (250, 210, 90)), ('folder', (220, 170, 50)),
                 ('props', (90, 110, 180))]

if __name__ == '__main__':
    write_bmp('registry_tree.bmp', 16 * len(REGISTRY_TREE), 16, strip(REGISTRY_TREE, 16, 16))
