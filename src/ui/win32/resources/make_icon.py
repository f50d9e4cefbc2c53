#!/usr/bin/env python3
"""Draws the program's icon and writes it as vantrel.ico, one image for each
size Windows asks for at 100 to 200 % and in Explorer: 16, 24, 32 and 48 px
as 16-colour bitmaps with a transparency mask (the drawing has six colours),
and 256 px as a PNG with an alpha channel, as Windows keeps its large icons.

Two overlapping black window frames; the front one is filled blue and has a
white crosshair in its middle and a small grey square at its lower right.

Each size is drawn for itself on whole pixels, never scaled from another, so
every edge is sharp.

Usage: make_icon.py OUTPUT.ico
"""
import struct
import sys
import zlib

TRANSPARENT, BLACK, WHITE, BLUE, GREY, PAPER = range(6)
PALETTE = [(0, 0, 0), (0, 0, 0), (255, 255, 255), (0, 64, 255), (160, 160, 160), (236, 236, 236)]

BITMAP_SIZES = (16, 24, 32, 48)
PNG_SIZE = 256


def draw(size):
    """The drawing on a 16-unit design grid. Edges fall on whole pixels; lines
    are one pixel wide up to 32 px and thicker in proportion above."""
    line = max(1, size // 24)

    def at(units):  # a grid position as a pixel edge
        return round(units * size / 16)

    px = [[TRANSPARENT] * size for _ in range(size)]

    def fill(x0, y0, x1, y1, colour):  # pixel edges, the ends excluded
        for y in range(y0, y1):
            for x in range(x0, x1):
                px[y][x] = colour

    def frame(x0, y0, x1, y1, inside):
        """A window: black border and caption bar, the rest `inside`.
        Returns the inside's edges."""
        fill(x0, y0, x1, y1, BLACK)
        inner = (x0 + line, y0 + at(2), x1 - line, y1 - line)
        fill(*inner, inside)
        return inner

    # The back window, up and to the left.
    frame(0, 0, at(10), at(9), PAPER)
    # The front window, down and to the right, over the back one.
    left, top, right, bottom = frame(at(5), at(4), size, at(15), BLUE)
    # White crosshair in the middle of the front window's inside.
    cx = left + (right - left - line) // 2
    cy = top + (bottom - top - line) // 2
    arm = at(3)
    fill(cx - arm, cy, cx + line + arm, cy + line, WHITE)
    fill(cx, cy - arm, cx + line, cy + line + arm, WHITE)
    # Small grey square at the lower right corner of the inside.
    fill(right - at(2), bottom - at(2), right, bottom, GREY)
    return px


def bitmap(px):
    """An icon image as Windows stores it: BITMAPINFOHEADER of twice the
    height (colour rows, then the mask's), 16-colour palette, colour rows of
    4 bits a pixel and AND mask, both bottom-up."""
    size = len(px)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    palette += b"\0\0\0\0" * (16 - len(PALETTE))
    stride = ((size * 4 + 31) // 32) * 4
    xor = b""
    for row in reversed(px):
        nibbles = bytearray(stride)
        for x, colour in enumerate(row):
            nibbles[x // 2] |= colour << (4 if x % 2 == 0 else 0)
        xor += bytes(nibbles)
    mask_stride = ((size + 31) // 32) * 4
    mask = b""
    for row in reversed(px):
        bits = bytearray(mask_stride)
        for x, colour in enumerate(row):
            if colour == TRANSPARENT:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bytes(bits)
    return header + palette + xor + mask


def png(px):
    """A PNG of 8-bit RGBA, the transparent colour with alpha 0."""
    size = len(px)
    rgba = [bytes((*PALETTE[c], 0 if c == TRANSPARENT else 255)) for c in range(len(PALETTE))]
    raw = b"".join(b"\0" + b"".join(rgba[c] for c in row) for row in px)  # filter 0 on every row

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def main():
    # (size, colours in the palette, bits per pixel, image); a directory
    # entry writes 256 as 0, and a PNG's colours as 0 (none in a palette).
    images = [(size, 16, 4, bitmap(draw(size))) for size in BITMAP_SIZES]
    images.append((PNG_SIZE, 0, 32, png(draw(PNG_SIZE))))
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, colours, bits, data in images:
        out += struct.pack("<BBBBHHII", size % 256, size % 256, colours, 0, 1, bits, len(data), offset)
        offset += len(data)
    out += b"".join(data for _, _, _, data in images)
    with open(sys.argv[1], "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main()
