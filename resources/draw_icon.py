#!/usr/bin/env python3
"""Draws the application icon: a server tower with a green play badge.

Writes dedicated-server-starter.ico (32x32 in 2 colours, 32x32 and 16x16 in
16 colours) and icons/<size>.png (full colour with alpha) next to this script.
Standard library only, so the artwork can be redrawn on any machine:

    python3 draw_icon.py            # rewrite the files
    python3 draw_icon.py --check    # exit 1 if the files differ from a redraw
"""

import argparse
import math
import pathlib
import struct
import sys
import zlib

PNG_SIZES = (16, 32, 48, 64, 128)
ICO_NAME = "dedicated-server-starter.ico"

BLACK = (0, 0, 0)
WHITE = (255, 255, 255)

# Flat colours: the palette images use exactly these, the PNGs shade around them.
OUTLINE = (30, 40, 45)
BODY = (69, 90, 100)
BAY = (207, 216, 220)
SLOT = (84, 110, 122)
LED = (118, 255, 3)
BADGE_EDGE = (27, 94, 32)
BADGE = (56, 142, 60)


def mix(a, b, t):
    t = min(max(t, 0.0), 1.0)
    return tuple(round(x + (y - x) * t) for x, y in zip(a, b))


# --- Shapes in pixel coordinates -------------------------------------------

class Shape:
    """A filled area with its full-colour paint, flat colour and 1-bit colour.

    `flat` and `mono` of None clear what lies below (a cut-out)."""

    def __init__(self, bbox, inside, paint, flat, mono):
        self.bbox, self.inside, self.paint, self.flat, self.mono = bbox, inside, paint, flat, mono


def round_rect(x0, y0, x1, y1, r, paint, flat, mono):
    def inside(x, y):
        if not (x0 <= x < x1 and y0 <= y < y1):
            return False
        cx = min(max(x, x0 + r), x1 - r)
        cy = min(max(y, y0 + r), y1 - r)
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    return Shape((x0, y0, x1, y1), inside, paint, flat, mono)


def circle(cx, cy, r, paint, flat, mono):
    return Shape((cx - r, cy - r, cx + r, cy + r),
                 lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r, paint, flat, mono)


def triangle(points, paint, flat, mono):
    # Counter-clockwise or not, a point is inside when it lies on the same
    # side of all three edges.
    edges = [(points[i], points[(i + 1) % 3]) for i in range(3)]

    def inside(x, y):
        sides = [(bx - ax) * (y - ay) - (by - ay) * (x - ax) for (ax, ay), (bx, by) in edges]
        return all(s >= 0 for s in sides) or all(s <= 0 for s in sides)
    xs, ys = [p[0] for p in points], [p[1] for p in points]
    return Shape((min(xs), min(ys), max(xs), max(ys)), inside, paint, flat, mono)


# Geometry on a 32-unit grid, scaled to the image size. The 16 pixel image
# has its own, placed by hand in pixels: scaled down, the bays would be two
# and a half pixels high and the slots half a pixel wide.
GRID = {"tower": (3, 1, 19, 31), "corner": 2.5, "bays": (4, 10, 16), "bay_height": 4,
        "bay_x": (6, 16), "bay_corner": 0.6, "slot_x": (8, 12), "led_x": 14, "led_r": 1.1,
        "badge": (24, 24), "badge_r": 7.5, "cut_r": 9, "play": ((-2.6, -4.4), (-2.6, 4.4), (5.1, 0))}
GRID_16 = {"tower": (1, 0, 10, 15), "corner": 1.0, "bays": (2, 5, 8), "bay_height": 2,
           "bay_x": (3, 8), "bay_corner": 0, "slot_x": None, "led_x": None, "led_r": None,
           "badge": (12, 12), "badge_r": 4, "cut_r": 5, "play": ((-2, -3.4), (-2, 3.4), (1.6, 0))}


def artwork(n):
    """The design for an n x n image, as shapes painted in order.

    Straight edges snap to whole pixels and lines stay at least a pixel wide,
    so the small images stay crisp."""
    g, u = (GRID_16, 1.0) if n == 16 else (GRID, n / 32.0)

    def px(v):
        return math.floor(v * u + 0.5)

    line = max(1, px(1))
    shapes = []

    # The tower: dark outline, slate body shaded from top to bottom.
    tx0, ty0, tx1, ty1 = (px(v) for v in g["tower"])
    corner = g["corner"] * u
    shapes.append(round_rect(tx0, ty0, tx1, ty1, corner, lambda x, y: OUTLINE, OUTLINE, BLACK))
    top, height = ty0 + line, ty1 - ty0 - 2 * line
    body = lambda x, y: mix((96, 125, 139), (55, 71, 79), (y - top) / height)
    shapes.append(round_rect(tx0 + line, ty0 + line, tx1 - line, ty1 - line,
                             max(0.0, corner - line), body, BODY, BLACK))

    # Three drive bays, each with a slot and a lit status light.
    bx0, bx1 = (px(v) for v in g["bay_x"])
    for y0 in g["bays"]:
        by0, by1 = px(y0), px(y0 + g["bay_height"])
        bay = lambda x, y, by0=by0, by1=by1: mix((236, 239, 241), (176, 190, 197), (y - by0) / (by1 - by0))
        shapes.append(round_rect(bx0, by0, bx1, by1, g["bay_corner"] * u, bay, BAY, WHITE))
        middle = (by0 + by1) / 2
        if g["slot_x"]:
            sx0, sx1 = (px(v) for v in g["slot_x"])
            shapes.append(round_rect(sx0, middle - line / 2, sx1, middle + line / 2, 0,
                                     lambda x, y: SLOT, SLOT, BLACK))
        if g["led_x"] is not None:
            shapes.append(circle(g["led_x"] * u, middle, g["led_r"] * u, lambda x, y: LED, LED, BLACK))
        else:  # a one-pixel column at the bay's end
            shapes.append(round_rect(bx1 - 1, by0, bx1, by1, 0, lambda x, y: LED, LED, BLACK))

    # The play badge, cut out of the tower by a transparent ring.
    cx, cy = (v * u for v in g["badge"])
    shapes.append(circle(cx, cy, g["cut_r"] * u, None, None, None))
    r = g["badge_r"] * u
    shapes.append(circle(cx, cy, r, lambda x, y: BADGE_EDGE, BADGE_EDGE, BLACK))
    inner = r - line
    badge = lambda x, y: mix((129, 199, 132), (46, 125, 50), (y - (cy - inner)) / (2 * inner))
    shapes.append(circle(cx, cy, inner, badge, BADGE, WHITE))
    # Pointing right, with its mass rather than its box in the middle of the disc.
    shapes.append(triangle([(cx + dx * u, cy + dy * u) for dx, dy in g["play"]],
                           lambda x, y: WHITE, WHITE, BLACK))
    return shapes


# --- Rendering --------------------------------------------------------------

def samples(shape, n, ss):
    """Sample indices (i, j) of an n*ss grid whose centres may fall in shape."""
    x0, y0, x1, y1 = shape.bbox
    i0, i1 = max(0, math.floor(x0 * ss)), min(n * ss, math.ceil(x1 * ss) + 1)
    j0, j1 = max(0, math.floor(y0 * ss)), min(n * ss, math.ceil(y1 * ss) + 1)
    for j in range(j0, j1):
        y = (j + 0.5) / ss
        for i in range(i0, i1):
            x = (i + 0.5) / ss
            if shape.inside(x, y):
                yield i, j, x, y


def render_rgba(n):
    """Full colour with alpha, antialiased by supersampling."""
    ss = max(4, -(-256 // n))
    grid = n * ss
    rgba = [None] * (grid * grid)
    for shape in artwork(n):
        for i, j, x, y in samples(shape, n, ss):
            rgba[j * grid + i] = None if shape.paint is None else shape.paint(x, y)
    out = bytearray()
    for py in range(n):
        for px_ in range(n):
            acc, count = [0, 0, 0], 0
            for j in range(py * ss, (py + 1) * ss):
                for i in range(px_ * ss, (px_ + 1) * ss):
                    c = rgba[j * grid + i]
                    if c is not None:
                        count += 1
                        for k in range(3):
                            acc[k] += c[k]
            if count:
                out += bytes(round(a / count) for a in acc) + bytes([round(255 * count / (ss * ss))])
            else:
                out += b"\0\0\0\0"
    return bytes(out)


def render_indexed(n, pick):
    """One flat colour per pixel (the most covered one), or None for clear."""
    ss = 4
    grid = n * ss
    keys = [None] * (grid * grid)
    for shape in artwork(n):
        value = pick(shape)
        for i, j, _, _ in samples(shape, n, ss):
            keys[j * grid + i] = value
    pixels = []
    for py in range(n):
        for px_ in range(n):
            votes = {}
            for j in range(py * ss, (py + 1) * ss):
                for i in range(px_ * ss, (px_ + 1) * ss):
                    k = keys[j * grid + i]
                    votes[k] = votes.get(k, 0) + 1
            pixels.append(max(votes.items(), key=lambda kv: (kv[1], kv[0] is not None))[0])
    return pixels


# --- File formats -----------------------------------------------------------

def png(n, rgba):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    rows = b"".join(b"\0" + rgba[y * n * 4:(y + 1) * n * 4] for y in range(n))
    return (b"\x89PNG\r\n\x1a\n"
            + chunk(b"IHDR", struct.pack(">IIBBBBB", n, n, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(rows, 9))
            + chunk(b"IEND", b""))


def png_pixels(data):
    """Header and raw rows of a PNG as written above (for --check)."""
    pos, header, idat = 8, b"", b""
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            header = body
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    return header, zlib.decompress(idat)


def dib(n, pixels, palette):
    """An icon image: BITMAPINFOHEADER, colour table, XOR bitmap, AND mask.

    Clear pixels are black in the XOR bitmap and set in the mask, so the
    screen shows through them unchanged."""
    bpp = {2: 1, 16: 4}[len(palette)]
    index = {c: i for i, c in enumerate(palette)}
    xor_stride = ((n * bpp + 31) // 32) * 4
    and_stride = ((n + 31) // 32) * 4
    xor, mask = bytearray(), bytearray()
    for y in reversed(range(n)):  # bottom-up rows
        row = [pixels[y * n + x] for x in range(n)]
        bits = 0
        line = bytearray()
        for x, c in enumerate(row):
            bits = (bits << bpp) | (0 if c is None else index[c])
            if (x + 1) * bpp % 8 == 0:
                line.append(bits)
                bits = 0
        xor += line.ljust(xor_stride, b"\0")
        m = bytearray()
        for x0 in range(0, n, 8):
            m.append(sum(0x80 >> k for k in range(8) if x0 + k < n and row[x0 + k] is None))
        mask += m.ljust(and_stride, b"\0")
    header = struct.pack("<IiiHHIIiiII", 40, n, 2 * n, 1, bpp, 0, len(xor) + len(mask), 0, 0, len(palette), 0)
    table = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)
    return header + table + bytes(xor) + bytes(mask)


def ico(images):
    """images: (size, colour count, bits per pixel, DIB bytes) in file order."""
    offset = 6 + 16 * len(images)
    directory, blobs = struct.pack("<HHH", 0, 1, len(images)), b""
    for size, colours, bpp, data in images:
        directory += struct.pack("<BBBBHHII", size % 256, size % 256, colours % 256, 0, 1, bpp, len(data), offset)
        offset += len(data)
        blobs += data
    return directory + blobs


def sixteen_colours(n):
    pixels = render_indexed(n, lambda s: s.flat)
    # Index 0 must be black: clear pixels use it in the XOR bitmap.
    used = sorted({p for p in pixels if p is not None} - {BLACK})
    palette = [BLACK] + used
    if len(palette) > 16:
        raise SystemExit(f"{n}x{n}: {len(palette)} colours do not fit a 16-colour image")
    palette += [BLACK] * (16 - len(palette))
    return dib(n, pixels, palette)


def two_colours(n):
    return dib(n, render_indexed(n, lambda s: s.mono), [BLACK, WHITE])


def draw():
    """All outputs as {relative path: bytes}."""
    files = {ICO_NAME: ico([(32, 2, 1, two_colours(32)),
                            (32, 16, 4, sixteen_colours(32)),
                            (16, 16, 4, sixteen_colours(16))])}
    for n in PNG_SIZES:
        files[f"icons/{n}.png"] = png(n, render_rgba(n))
    return files


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--check", action="store_true", help="compare with the files instead of writing them")
    parser.add_argument("--dir", type=pathlib.Path, default=pathlib.Path(__file__).resolve().parent,
                        help="folder of the icon files (default: this script's folder)")
    args = parser.parse_args()
    stale = []
    for name, data in draw().items():
        path = args.dir / name
        if args.check:
            # PNGs compare by pixels: another zlib may compress differently.
            old = path.read_bytes() if path.exists() else None
            same = old is not None and (png_pixels(old) == png_pixels(data) if name.endswith(".png") else old == data)
            if not same:
                stale.append(name)
        else:
            path.parent.mkdir(parents=True, exist_ok=True)
            path.write_bytes(data)
    if stale:
        print("differ from a redraw (run draw_icon.py and keep its output):", ", ".join(stale), file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
