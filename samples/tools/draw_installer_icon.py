#!/usr/bin/env python3
"""Draws the installer's icon: a blue shield crossed by a sticking plaster.

Writes one .ico file holding a 32x32 and a 16x16 image, each 16 colours (4 bits per pixel,
one plane, the standard 16-colour palette) with its 1-bit AND mask. The output is fully
determined by this script, so the committed icon can be regenerated and compared:

    samples/tools/draw_installer_icon.py resources/installer.ico [--preview]
"""
import math
import struct
import sys

# The standard 16-colour palette, in its usual order, as (red, green, blue).
PALETTE = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]
BLACK, OLIVE, NAVY, SILVER, GRAY, YELLOW, BLUE, AQUA, WHITE = 0, 3, 4, 7, 8, 11, 12, 14, 15
TRANSPARENT = None
SUBSAMPLES = 4  # per axis, per pixel


def shield_inside(x, y, inset):
    """The shield in unit coordinates, shrunk by `inset`: flat top, straight sides, round point."""
    top, shoulder, bottom, half = 0.06, 0.45, 0.97, 0.40
    if y < top + inset or y > bottom - 1.6 * inset:
        return False
    if y <= shoulder:
        width = half
    else:
        t = (y - shoulder) / (bottom - shoulder)
        width = half * math.sqrt(max(0.0, 1.0 - t * t))
    return abs(x - 0.5) <= width - inset


def plaster_axes(x, y):
    """Coordinates along (u) and across (v) the plaster, which runs from lower left to upper right
    (y grows downwards)."""
    dx, dy = x - 0.5, y - 0.52
    c = math.cos(math.radians(45))
    s = math.sin(math.radians(45))
    return dx * c - dy * s, dx * s + dy * c


def plaster_inside(x, y, inset):
    """A capsule: all points within `radius` of the centre segment."""
    u, v = plaster_axes(x, y)
    half_length, radius = 0.36, 0.17 - inset
    nearest = max(-half_length, min(half_length, u))
    return (u - nearest) ** 2 + v ** 2 <= radius * radius


def colour_at(x, y, pixel):
    """The palette index of the point (x, y) in unit coordinates, or TRANSPARENT."""
    colour = TRANSPARENT
    if shield_inside(x, y, 0.0):
        colour = NAVY
        if shield_inside(x, y, pixel):
            colour = BLUE
            # A highlight along the shield's left side.
            if x < 0.5 and not shield_inside(x - 2 * pixel, y, pixel):
                colour = AQUA
    if plaster_inside(x, y, 0.0):
        colour = OLIVE
        if plaster_inside(x, y, pixel):
            u, v = plaster_axes(x, y)
            pad = 0.11
            if abs(u) <= pad and abs(v) <= pad:
                colour = WHITE if abs(u) <= pad - pixel and abs(v) <= pad - pixel else SILVER
            else:
                colour = YELLOW
                # Air holes, on the larger image only.
                if pixel < 0.05:
                    for hole_u in (-0.22, -0.16, 0.16, 0.22):
                        for hole_v in (-0.05, 0.05):
                            if (u - hole_u) ** 2 + (v - hole_v) ** 2 <= (0.6 * pixel) ** 2:
                                colour = OLIVE
    return colour


def draw(size):
    """Rows of palette indices (TRANSPARENT where nothing is drawn), top row first."""
    pixel = 1.0 / size
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            votes = {}
            for sy in range(SUBSAMPLES):
                for sx in range(SUBSAMPLES):
                    x = (px + (sx + 0.5) / SUBSAMPLES) * pixel
                    y = (py + (sy + 0.5) / SUBSAMPLES) * pixel
                    c = colour_at(x, y, pixel)
                    votes[c] = votes.get(c, 0) + 1
            # The most frequent colour wins; ties go to the lower index, transparency last.
            row.append(max(votes, key=lambda c: (votes[c], -(c if c is not None else 99))))
        rows.append(row)
    return rows


def bitmap(rows):
    """The image entry: BITMAPINFOHEADER (height doubled), palette, XOR bitmap, AND mask."""
    size = len(rows)
    xor_stride = ((size * 4 + 31) // 32) * 4
    and_stride = ((size + 31) // 32) * 4
    xor_bits = bytearray()
    and_bits = bytearray()
    for row in reversed(rows):  # bottom-up
        line = bytearray(xor_stride)
        mask = bytearray(and_stride)
        for x, c in enumerate(row):
            if c is TRANSPARENT:
                mask[x // 8] |= 0x80 >> (x % 8)
                c = BLACK  # black under a set mask bit leaves the screen unchanged
            line[x // 2] |= c << (4 if x % 2 == 0 else 0)
        xor_bits += line
        and_bits += mask
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0,
                         len(xor_bits) + len(and_bits), 0, 0, 16, 0)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    return header + palette + bytes(xor_bits) + bytes(and_bits)


def icon(sizes):
    images = [(size, bitmap(draw(size))) for size in sizes]
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for size, data in images:
        out += struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    for _, data in images:
        out += data
    return bytes(out)


def preview(size):
    marks = ".KmOnpt=sg#rYBfaW"  # one character per palette index, '.' for transparent
    for row in draw(size):
        print("".join(marks[0] if c is None else marks[c + 1] for c in row))


def main(argv):
    if len(argv) < 2:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    with open(argv[1], "wb") as f:
        f.write(icon([32, 16]))
    if "--preview" in argv[2:]:
        preview(32)
        print()
        preview(16)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
