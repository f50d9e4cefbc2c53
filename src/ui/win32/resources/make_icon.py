#!/usr/bin/env python3
"""Draws the program's icon and writes it as vantrel.ico: 16x16 and 32x32,
8 bits a pixel (256-colour palette) with a transparency mask.

Two overlapping black window frames; the front one is filled blue and has a
white crosshair in its middle and a small grey square at its lower right.

Usage: make_icon.py OUTPUT.ico
"""
import struct
import sys

TRANSPARENT, BLACK, WHITE, BLUE, GREY, PAPER = range(6)
PALETTE = [(0, 0, 0), (0, 0, 0), (255, 255, 255), (0, 64, 255), (160, 160, 160), (236, 236, 236)]


def draw(size):
    s = size // 16  # design grid is 16x16; 32x32 doubles it but keeps 1-pixel lines
    px = [[TRANSPARENT] * size for _ in range(size)]

    def fill(x0, y0, x1, y1, colour):  # inclusive pixel bounds
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                px[y][x] = colour

    def frame(x0, y0, x1, y1, inside):
        fill(x0, y0, x1, y1, BLACK)
        title = 2 * s  # the caption bar
        fill(x0 + 1, y0 + title, x1 - 1, y1 - 1, inside)

    # The back window, up and to the left.
    frame(0, 0, 10 * s - 1, 9 * s - 1, PAPER)
    # The front window, down and to the right, over the back one.
    fx0, fy0, fx1, fy1 = 5 * s, 4 * s, size - 1, size - 2 * s + s - 1
    frame(fx0, fy0, fx1, fy1, BLUE)
    # White crosshair in the middle of the front window's inside.
    top = fy0 + 2 * s
    cx = (fx0 + 1 + fx1 - 1) // 2
    cy = (top + fy1 - 1) // 2
    arm = 3 * s
    fill(cx - arm, cy, cx + arm, cy, WHITE)
    fill(cx, cy - arm, cx, cy + arm, WHITE)
    # Small grey square at the lower right corner of the inside.
    g = 2 * s
    fill(fx1 - g, fy1 - g, fx1 - 1, fy1 - 1, GREY)
    return px


def dib(px):
    size = len(px)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 8, 0, 0, 0, 0, 256, 0)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    palette += b"\0\0\0\0" * (256 - len(PALETTE))
    stride = (size + 3) & ~3
    xor = b""
    for row in reversed(px):  # bottom-up
        xor += bytes(row) + b"\0" * (stride - size)
    mask_stride = ((size + 31) // 32) * 4
    mask = b""
    for row in reversed(px):
        bits = bytearray(mask_stride)
        for x, colour in enumerate(row):
            if colour == TRANSPARENT:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bytes(bits)
    return header + palette + xor + mask


def main():
    images = [(size, dib(draw(size))) for size in (16, 32)]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 8, len(data), offset)
        offset += len(data)
    out += b"".join(data for _, data in images)
    with open(sys.argv[1], "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main()
