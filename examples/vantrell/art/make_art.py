#!/usr/bin/env python3
"""Draws the sample vendor's (Calderic's) art for the Vantrell installer:

    vantrell.ico   the program icon: a teal peak and a sun on a round badge,
                   16, 32 and 48 pixels as 32-bit bitmaps, 256 as PNG
    wizard.bmp     the wizard's side picture: 150 x 300, 24-bit, a mountain
                   range at dawn

Pure Python, deterministic: the same script writes the same bytes.

    python3 make_art.py [FOLDER]
"""
import math
import os
import struct
import sys

# The icon container and its image encoders are the project's own art tools.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "..", "setup", "art"))
from icofile import ico_file  # noqa: E402


def mix(a, b, t):
    t = max(0.0, min(1.0, t))
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(len(a)))


def ridge(x, base, height, period, phase):
    return base - height * (0.6 * math.sin(x / period + phase) + 0.4 * math.sin(x / (period * 0.43) + 2 * phase))


# --- the wizard picture ---------------------------------------------------

WIDTH, HEIGHT = 150, 300


def scene(x, y):
    c = mix((250, 196, 140), (84, 150, 176), (y / 150) ** 0.8) if y < 150 else (84, 150, 176)
    sun = math.hypot(x - 104, y - 92)
    if sun < 18:
        c = (255, 236, 190)
    elif sun < 44:
        c = mix(c, (255, 220, 160), 0.5 * (1 - (sun - 18) / 26))
    for base, height, period, phase, colour in ((150, 34, 21, 0.3, (120, 150, 168)),
                                                 (196, 40, 17, 1.9, (46, 110, 118)),
                                                 (244, 30, 13, 4.1, (24, 70, 80))):
        if y >= ridge(x, base, height, period, phase):
            c = colour
    if y > 262:
        c = mix((24, 70, 80), (12, 40, 48), (y - 262) / 38)
    return tuple(int(round(v)) for v in c)


def wizard_bmp():
    stride = (WIDTH * 3 + 3) // 4 * 4
    pixels = bytearray()
    for y in range(HEIGHT - 1, -1, -1):
        row = bytearray()
        for x in range(WIDTH):
            r, g, b = scene(x, y)
            row += bytes((b, g, r))
        pixels += row + b"\0" * (stride - len(row))
    header = struct.pack("<2sIHHI", b"BM", 14 + 40 + len(pixels), 0, 0, 14 + 40)
    info = struct.pack("<IiiHHIIiiII", 40, WIDTH, HEIGHT, 1, 24, 0, len(pixels), 3780, 3780, 0, 0)
    return header + info + bytes(pixels)


# --- the icon -------------------------------------------------------------

def badge(u, v):
    d = math.hypot(u - 0.5, v - 0.5)
    if d > 0.48:
        return (0, 0, 0, 0)
    c = mix((255, 214, 150), (96, 170, 190), v * 1.4)
    if math.hypot(u - 0.66, v - 0.36) < 0.12:
        c = (255, 240, 200)
    if v > 0.78 - 0.55 * (1 - abs(u - 0.42) / 0.42) and abs(u - 0.42) < 0.42:
        c = mix((36, 110, 118), (16, 60, 70), v)
    if d > 0.44:
        c = (20, 56, 66)
    return (c[0], c[1], c[2], 255)


if __name__ == "__main__":
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    with open(os.path.join(folder, "wizard.bmp"), "wb") as out:
        out.write(wizard_bmp())
    with open(os.path.join(folder, "vantrell.ico"), "wb") as out:
        out.write(ico_file(badge, (16, 32, 48, 256), png_from=256))
