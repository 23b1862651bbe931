#!/usr/bin/env python3
"""Draws the wizard's side picture: 150 x 300 pixels, 24-bit, uncompressed.

A dusk gradient, a few soft rings of light and a lit candle.  Pure Python,
no imaging library, deterministic: the same script writes the same bytes.

    python3 make_sidepicture.py [OUTPUT.bmp]
"""
import math
import struct
import sys

WIDTH, HEIGHT = 150, 300


def mix(a, b, t):
    t = max(0.0, min(1.0, t))
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


def over(base, colour, alpha):
    return mix(base, colour, alpha)


def pixel(x, y):
    # Background: deep blue at the top to a warm violet at the bottom.
    top, middle, bottom = (18, 32, 74), (46, 70, 130), (120, 82, 128)
    t = y / (HEIGHT - 1)
    c = mix(top, middle, t * 2) if t < 0.5 else mix(middle, bottom, (t - 0.5) * 2)

    # Soft rings of light.
    for cx, cy, r, w, a in ((118, 52, 34, 5, 0.18), (28, 118, 22, 4, 0.14), (96, 150, 54, 7, 0.10)):
        d = abs(math.hypot(x - cx, y - cy) - r)
        if d < w:
            c = over(c, (200, 220, 255), a * (1 - d / w))

    # A glow around the flame.
    fx, fy = 75, 196
    g = math.hypot((x - fx) / 1.0, (y - fy) / 1.3)
    if g < 70:
        c = over(c, (255, 196, 120), 0.45 * (1 - g / 70) ** 2)

    # The candle: a cream column with a shaded side and a soft top edge.
    left, right, ctop, cbottom = 60, 90, 214, 278
    if left <= x <= right and ctop <= y <= cbottom:
        shade = (x - left) / (right - left)
        body = mix((250, 238, 214), (196, 172, 142), shade ** 1.5)
        c = body
    # The candle's foot: a dish.
    if 40 <= x <= 110 and 276 <= y <= 284:
        e = ((x - 75) / 35) ** 2 + ((y - 280) / 4.5) ** 2
        if e <= 1:
            c = mix((170, 150, 170), (90, 80, 110), (y - 276) / 8)

    # The wick and the flame (a teardrop: circle below, point above).
    if 74 <= x <= 76 and 206 <= y <= 214:
        c = (40, 30, 30)
    dx, dy = x - fx, y - fy
    if dy >= 0:
        inside = math.hypot(dx, dy) <= 7
        core = math.hypot(dx, dy - 2) <= 3.5
    else:
        half = 7 * (1 + dy / 22.0)
        inside = dy > -22 and abs(dx) <= half
        core = dy > -10 and abs(dx) <= 3.5 * (1 + dy / 10.0)
    if inside:
        c = mix((255, 150, 40), (255, 230, 120), max(0.0, -dy / 22.0))
    if core:
        c = (255, 250, 225)
    return tuple(int(round(v)) for v in c)


def bitmap():
    row_bytes = (WIDTH * 3 + 3) // 4 * 4
    pixels = bytearray()
    for y in range(HEIGHT - 1, -1, -1):  # bottom-up rows
        row = bytearray()
        for x in range(WIDTH):
            r, g, b = pixel(x, y)
            row += bytes((b, g, r))
        row += b"\0" * (row_bytes - len(row))
        pixels += row
    header = struct.pack("<2sIHHI", b"BM", 14 + 40 + len(pixels), 0, 0, 14 + 40)
    info = struct.pack("<IiiHHIIiiII", 40, WIDTH, HEIGHT, 1, 24, 0, len(pixels), 3780, 3780, 0, 0)
    return header + info + bytes(pixels)


if __name__ == "__main__":
    data = bitmap()
    assert len(data) == 135654, len(data)
    with open(sys.argv[1] if len(sys.argv) > 1 else "sidepicture.bmp", "wb") as out:
        out.write(data)
