#!/usr/bin/env python3
"""Draws the installer's default program icon: a lit candle on a dusk-blue
rounded square, the side picture's motif.  Images of 16 and 32 pixels as
32-bit bitmaps and 48 pixels as PNG, in one .ico file: every stub carries
it, so it stays small (the vendor's icon replaces it in their installers).  Pure
Python, deterministic: the same script writes the same bytes.

    python3 make_icon.py [OUTPUT.ico]
"""
import math
import sys

from icofile import ico_file

SIZES = (16, 32, 48)


def mix(a, b, t):
    t = max(0.0, min(1.0, t))
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(len(a)))


def sample(u, v):
    """Colour (r, g, b, a) at (u, v) in the unit square, y down."""
    # Rounded square.
    r = 0.18
    dx = max(abs(u - 0.5) - (0.5 - r), 0.0)
    dy = max(abs(v - 0.5) - (0.5 - r), 0.0)
    if math.hypot(dx, dy) > r:
        return (0, 0, 0, 0)
    c = mix((30, 48, 104), (112, 80, 130), v)
    g = math.hypot(u - 0.5, (v - 0.36) / 1.3)
    if g < 0.45:
        c = mix(c, (255, 196, 120), 0.55 * (1 - g / 0.45) ** 2)
    # Candle body.
    if 0.38 <= u <= 0.62 and 0.52 <= v <= 0.88:
        c = mix((250, 238, 214), (196, 172, 142), ((u - 0.38) / 0.24) ** 1.5)
    # Flame: a teardrop above the candle.
    fx, fy = 0.5, 0.40
    du, dv = u - fx, v - fy
    if dv >= 0:
        inside = math.hypot(du, dv) <= 0.075
    else:
        inside = dv > -0.22 and abs(du) <= 0.075 * (1 + dv / 0.22)
    if inside:
        c = mix((255, 150, 40), (255, 235, 150), max(0.0, -dv / 0.22))
    return (c[0], c[1], c[2], 255)


if __name__ == "__main__":
    with open(sys.argv[1] if len(sys.argv) > 1 else "setup.ico", "wb") as out:
        out.write(ico_file(sample, SIZES, png_from=48))
