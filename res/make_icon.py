#!/usr/bin/env python3
"""Draws the application icon (resource 128) and writes res/brindle.ico.

A brindle-striped parcel (the collected result) under a magnifying glass,
rendered at 16, 32 and 48 pixels as 32-bit images with alpha, plus the AND
mask that older Windows versions use. Standard library only.

    python3 res/make_icon.py [output.ico]
"""

import math
import os
import struct
import sys

SIZES = (16, 32, 48)
SAMPLES = 6  # per axis, for anti-aliased edges


def rounded_box(x, y, left, top, right, bottom, radius):
    """True when (x, y) lies inside the rounded rectangle."""
    if x < left or x > right or y < top or y > bottom:
        return False
    cx = min(max(x, left + radius), right - radius)
    cy = min(max(y, top + radius), bottom - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2


def on_segment(x, y, ax, ay, bx, by, half_width):
    """True when (x, y) is within half_width of the segment a-b."""
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy)))
    px, py = ax + t * dx, ay + t * dy
    return (x - px) ** 2 + (y - py) ** 2 <= half_width ** 2


def brindle(x, y):
    """Darker streaks across the parcel: wavy diagonal bands."""
    phase = (x + y * 0.55) * 9.0 + math.sin(y * 11.0) * 0.9
    return math.sin(phase) > 0.35


# Colours as (r, g, b, a).
OUTLINE = (60, 36, 20, 255)
COAT = (196, 132, 72, 255)
STREAK = (120, 72, 38, 255)
LID = (222, 170, 110, 255)
TAPE = (238, 214, 160, 255)
GLASS_RIM = (40, 52, 70, 255)
GLASS = (200, 230, 250, 200)
HANDLE = (40, 40, 48, 255)


def colour_at(x, y, pixel):
    """Colour of the drawing at (x, y), unit coordinates, or None for clear."""
    lens_cx, lens_cy, lens_r = 0.64, 0.62, 0.22
    rim = max(0.05, 1.4 * pixel)
    d = math.hypot(x - lens_cx, y - lens_cy)
    if on_segment(x, y, 0.80, 0.78, 0.95, 0.94, max(0.055, 1.2 * pixel)):
        return HANDLE
    if d <= lens_r:
        return GLASS_RIM if d > lens_r - rim else GLASS
    outline = max(0.04, 1.0 * pixel)
    if rounded_box(x, y, 0.06, 0.16, 0.86, 0.90, 0.08):
        if not rounded_box(x, y, 0.06 + outline, 0.16 + outline, 0.86 - outline, 0.90 - outline,
                           0.06):
            return OUTLINE
        if y < 0.34:
            return LID if abs(x - 0.46) > 0.07 else TAPE
        if abs(x - 0.46) <= 0.07:
            return TAPE
        return STREAK if brindle(x, y) else COAT
    return None


def blend(under, over):
    """Source-over compositing of two straight-alpha colours."""
    a = over[3] / 255.0
    b = under[3] / 255.0
    out_a = a + b * (1 - a)
    if out_a == 0:
        return (0, 0, 0, 0)
    rgb = [(over[i] * a + under[i] * b * (1 - a)) / out_a for i in range(3)]
    return tuple(rgb) + (out_a * 255.0,)


def render(size):
    """Rows of (r, g, b, a) bytes, top row first."""
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    x = (px + (sx + 0.5) / SAMPLES) / size
                    y = (py + (sy + 0.5) / SAMPLES) / size
                    c = colour_at(x, y, 1.0 / size)
                    if c is None:
                        continue
                    if c[3] < 255:  # the glass shows the parcel through it
                        under = colour_at_behind_glass(x, y, 1.0 / size)
                        c = blend(under, c)
                    w = c[3] / 255.0
                    for i in range(3):
                        acc[i] += c[i] * w
                    acc[3] += w
            n = SAMPLES * SAMPLES
            alpha = acc[3] / n
            if acc[3] > 0:
                rgb = [int(round(acc[i] / acc[3])) for i in range(3)]
            else:
                rgb = [0, 0, 0]
            row.append(tuple(rgb) + (int(round(alpha * 255)),))
        rows.append(row)
    return rows


def colour_at_behind_glass(x, y, pixel):
    """What lies under the lens: the parcel, or nothing."""
    outline = max(0.04, 1.0 * pixel)
    if rounded_box(x, y, 0.06 + outline, 0.16 + outline, 0.86 - outline, 0.90 - outline, 0.06):
        if abs(x - 0.46) <= 0.07:
            return TAPE
        if y < 0.34:
            return LID
        return STREAK if brindle(x, y) else COAT
    return (255, 255, 255, 0)


def dib(size, rows):
    """BITMAPINFOHEADER, bottom-up BGRA pixels, then the 1-bit AND mask."""
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = bytearray()
    for row in reversed(rows):
        for r, g, b, a in row:
            pixels += bytes((b, g, r, a))
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        line = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(row):
            if a < 128:
                line[x // 8] |= 0x80 >> (x % 8)
        mask += line
    return header + bytes(pixels) + bytes(mask)


def write_ico(path):
    images = [dib(size, render(size)) for size in SIZES]
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for size, image in zip(SIZES, images):
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    for image in images:
        out += image
    with open(path, "wb") as f:
        f.write(out)


if __name__ == "__main__":
    here = os.path.dirname(os.path.abspath(__file__))
    write_ico(sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "brindle.ico"))
