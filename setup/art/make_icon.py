#!/usr/bin/env python3
"""Draws the installer's default program icon: a lit candle on a dusk-blue
rounded square, the side picture's motif.  Images of 16 and 32 pixels as
32-bit bitmaps and 48 pixels as PNG, in one .ico file: every stub carries
it, so it stays small (the vendor's icon replaces it in their installers).  Pure
Python, deterministic: the same script writes the same bytes.

    python3 make_icon.py [OUTPUT.ico]
"""
import math
import struct
import sys
import zlib

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


def render(size):
    """Rows top-down of (r, g, b, a), 4 x 4 supersampled."""
    n = 4
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(n):
                for sx in range(n):
                    p = sample((x + (sx + 0.5) / n) / size, (y + (sy + 0.5) / n) / size)
                    a = p[3] / 255.0
                    acc[0] += p[0] * a
                    acc[1] += p[1] * a
                    acc[2] += p[2] * a
                    acc[3] += a
            a = acc[3] / (n * n)
            if a == 0:
                row.append((0, 0, 0, 0))
            else:
                row.append(tuple(int(round(acc[i] / acc[3])) for i in range(3)) + (int(round(a * 255)),))
        rows.append(row)
    return rows


def bmp_image(size, rows):
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = bytearray()
    for row in reversed(rows):
        for r, g, b, a in row:
            pixels += bytes((b, g, r, a))
    mask_stride = (size + 31) // 32 * 4
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for x, p in enumerate(row):
            if p[3] == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + bytes(pixels) + bytes(mask)


def png_image(size, rows):
    raw = b"".join(b"\0" + bytes(v for p in row for v in p) for row in rows)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def icon(sizes):
    images = [png_image(s, render(s)) if s >= 48 else bmp_image(s, render(s)) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for s, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", s % 256, s % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return out + b"".join(images)


if __name__ == "__main__":
    with open(sys.argv[1] if len(sys.argv) > 1 else "setup.ico", "wb") as out:
        out.write(icon(SIZES))
