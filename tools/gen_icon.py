#!/usr/bin/env python3
"""Draws the refresh tool's icon and writes it as an icon file of eight images:
48, 32, 24 and 16 pixels square, each at 8 and at 32 bits per pixel.

The picture: a blue rounded square holding a white circular arrow (reload). It is drawn
analytically with 4x4 supersampling, so every size is drawn, not scaled.
usage: gen_icon.py OUT.ico
"""
import math
import struct
import sys

BLUE_TOP = (0x2F, 0x8F, 0xE8)
BLUE_BOTTOM = (0x12, 0x52, 0xB0)
WHITE = (0xFF, 0xFF, 0xFF)


def coverage_square(x, y, n):
    """Rounded square covering the whole tile, corner radius n/5."""
    r = n / 5.0
    cx = min(max(x, r), n - r)
    cy = min(max(y, r), n - r)
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def on_arrow(x, y, n):
    """The reload arrow: a ring with a gap at the top right and a triangular head."""
    c = n / 2.0
    dx, dy = x - c, y - c
    d = math.hypot(dx, dy)
    outer, inner = n * 0.34, n * 0.22
    ang = math.degrees(math.atan2(-dy, dx)) % 360  # 0 = east, counter-clockwise
    if inner <= d <= outer and not (20 <= ang <= 80):
        return True
    # Head: a triangle at the end of the ring (angle 20), pointing into the gap.
    mid = (inner + outer) / 2
    a = math.radians(20)
    hx, hy = c + mid * math.cos(a), c - mid * math.sin(a)
    w = n * 0.17
    # Triangle vertices: base across the ring, tip further along clockwise.
    tx, ty = hx + w * math.cos(a + math.pi / 2) * 1.3, hy - w * math.sin(a + math.pi / 2) * 1.3
    bx1, by1 = hx + w * math.cos(a), hy - w * math.sin(a)
    bx2, by2 = hx - w * math.cos(a), hy + w * math.sin(a)

    def side(px, py, ax, ay, bx, by):
        return (px - bx) * (ay - by) - (ax - bx) * (py - by)

    s1 = side(x, y, tx, ty, bx1, by1)
    s2 = side(x, y, bx1, by1, bx2, by2)
    s3 = side(x, y, bx2, by2, tx, ty)
    return (s1 <= 0 and s2 <= 0 and s3 <= 0) or (s1 >= 0 and s2 >= 0 and s3 >= 0)


def render(n):
    """Returns rows (top first) of (r, g, b, a) pixels."""
    ss = 4
    rows = []
    for py in range(n):
        row = []
        for px in range(n):
            cov = arrow = 0
            for sy in range(ss):
                for sx in range(ss):
                    x = px + (sx + 0.5) / ss
                    y = py + (sy + 0.5) / ss
                    if coverage_square(x, y, n):
                        cov += 1
                        arrow += on_arrow(x, y, n)
            if cov == 0:
                row.append((0, 0, 0, 0))
                continue
            t = py / max(n - 1, 1)
            bg = [round(BLUE_TOP[i] * (1 - t) + BLUE_BOTTOM[i] * t) for i in range(3)]
            k = arrow / cov
            rgb = tuple(round(bg[i] * (1 - k) + WHITE[i] * k) for i in range(3))
            row.append(rgb + (round(255 * cov / (ss * ss)),))
        rows.append(row)
    return rows


PALETTE = [(r * 51, g * 51, b * 51) for r in range(6) for g in range(6) for b in range(6)]
PALETTE += [(v * 255 // 39, v * 255 // 39, v * 255 // 39) for v in range(40)]  # 216 + 40 = 256


def nearest(rgb):
    best, bi = None, 0
    for i, p in enumerate(PALETTE):
        d = sum((p[k] - rgb[k]) ** 2 for k in range(3))
        if best is None or d < best:
            best, bi = d, i
    return bi


def mask_bytes(rows, n):
    stride = ((n + 31) // 32) * 4
    out = b""
    for row in reversed(rows):
        bits = bytearray(stride)
        for x, px in enumerate(row):
            if px[3] < 128:
                bits[x // 8] |= 0x80 >> (x % 8)
        out += bytes(bits)
    return out


def dib(rows, n, bpp):
    header = struct.pack("<IiiHHIIiiII", 40, n, 2 * n, 1, bpp, 0, 0, 0, 0,
                         256 if bpp == 8 else 0, 0)
    body = b""
    if bpp == 32:
        for row in reversed(rows):
            for r, g, b, a in row:
                body += bytes((b, g, r, a))
    else:
        pal = b"".join(bytes((b, g, r, 0)) for r, g, b in PALETTE)
        stride = (n + 3) & ~3
        for row in reversed(rows):
            line = bytearray(stride)
            for x, (r, g, b, a) in enumerate(row):
                line[x] = nearest((r, g, b)) if a >= 128 else 0
            body += bytes(line)
        body = pal + body
    return header + body + mask_bytes(rows, n)


def main():
    images = []
    for n in (48, 32, 24, 16):
        rows = render(n)
        for bpp in (8, 32):
            images.append((n, bpp, dib(rows, n, bpp)))
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for n, bpp, data in images:
        out += struct.pack("<BBBBHHII", n, n, 0 if bpp == 32 else 0, 0, 1, bpp, len(data), offset)
        offset += len(data)
    out += b"".join(d for _, _, d in images)
    with open(sys.argv[1], "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main()
