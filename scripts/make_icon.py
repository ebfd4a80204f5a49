#!/usr/bin/env python3
"""Draws the program's icon for Windows (korvax.exe's resource) and writes it as a .ico file:
the shield of packaging/korvax.svg, a blue shield with a white check mark, at 16, 24, 32,
48 and 256 pixels, each a 32-bit image with its alpha channel, drawn with 4 x 4
supersampling so that its edges are smooth.

  scripts/make_icon.py OUTPUT.ico

Plain Python: the build needs no image library for it.
"""
import struct
import sys

SIZES = (16, 24, 32, 48, 256)
SAMPLES = 4


def inside_shield(x, y):
    """The shield, in a unit square (y down): flat top, straight sides, a point at the bottom."""
    if not (0.12 <= x <= 0.88 and 0.06 <= y <= 0.95):
        return False
    if y <= 0.55:
        return True
    # Below the middle the sides curve in to the point at (0.5, 0.95).
    half = 0.38 * (1 - ((y - 0.55) / 0.40) ** 1.6)
    return abs(x - 0.5) <= half


def on_check(x, y):
    """The check mark: two strokes, down to (0.44, 0.66) and up to (0.72, 0.34)."""
    def near(ax, ay, bx, by, width=0.07):
        dx, dy = bx - ax, by - ay
        t = max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy)))
        px, py = ax + t * dx, ay + t * dy
        return (x - px) ** 2 + (y - py) ** 2 <= width * width
    return near(0.28, 0.50, 0.44, 0.66) or near(0.44, 0.66, 0.72, 0.34)


def pixel(size, column, row):
    """BGRA of one pixel, averaged over its samples."""
    blue = green = red = alpha = 0.0
    for sy in range(SAMPLES):
        for sx in range(SAMPLES):
            x = (column + (sx + 0.5) / SAMPLES) / size
            y = (row + (sy + 0.5) / SAMPLES) / size
            if not inside_shield(x, y):
                continue
            if on_check(x, y):
                colour = (255, 255, 255)
            else:
                shade = 1.0 - 0.35 * y  # lighter at the top
                colour = (int(200 * shade + 40), int(110 * shade + 20), int(40 * shade))
            blue += colour[0]
            green += colour[1]
            red += colour[2]
            alpha += 255
    count = SAMPLES * SAMPLES
    covered = alpha / 255
    if covered == 0:
        return bytes(4)
    return bytes((round(blue / covered), round(green / covered), round(red / covered), round(alpha / count)))


def image(size):
    """One icon image: a BITMAPINFOHEADER of twice the height, the pixels bottom-up, and
    the 1-bit AND mask (all zero: the alpha channel decides)."""
    rows = [b"".join(pixel(size, column, row) for column in range(size)) for row in range(size)]
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    mask_row = ((size + 31) // 32) * 4
    return header + b"".join(reversed(rows)) + bytes(mask_row * size)


def main():
    if len(sys.argv) != 2:
        raise SystemExit(__doc__)
    images = [image(size) for size in SIZES]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in zip(SIZES, images):
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(sys.argv[1], "wb") as file:
        file.write(out + b"".join(images))


if __name__ == "__main__":
    main()
