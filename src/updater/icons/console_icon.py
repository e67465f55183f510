#!/usr/bin/env python3
"""Draws the console window's icon "IcoConsole": a small window with a blue
title bar, lines of text and the console's block caret with its light scan
line. Writes a 32 x 32, 16-colour icon file like the dialogs' icons.

Usage: console_icon.py OUT.ico   (the checked-in console.ico is its output)
"""
import struct
import sys

# The 16 colours of the standard palette, as (blue, green, red, 0).
PALETTE = [
    (0, 0, 0), (0, 0, 128), (0, 128, 0), (0, 128, 128), (128, 0, 0), (128, 0, 128),
    (128, 128, 0), (192, 192, 192), (128, 128, 128), (0, 0, 255), (0, 255, 0),
    (0, 255, 255), (255, 0, 0), (255, 0, 255), (255, 255, 0), (255, 255, 255),
]
BLACK, NAVY, GREY, DARK, WHITE = 0, 4, 7, 8, 15  # palette indexes
SIZE = 32


def draw():
    """Rows top to bottom; None is transparent."""
    px = [[None] * SIZE for _ in range(SIZE)]

    def rect(x0, y0, x1, y1, colour):
        for y in range(y0, y1):
            for x in range(x0, x1):
                px[y][x] = colour

    rect(1, 3, 31, 29, DARK)      # frame shadow
    rect(1, 3, 30, 28, GREY)      # frame
    rect(2, 4, 29, 9, NAVY)       # title bar
    rect(25, 5, 28, 8, GREY)      # its close box
    rect(3, 10, 28, 27, WHITE)    # client area
    for y, length in ((12, 17), (15, 21), (18, 12), (21, 19)):
        for x in range(5, 5 + length):
            if (x - 5) % 5 != 4:  # words with gaps
                px[y][x] = BLACK
    rect(5, 23, 10, 26, BLACK)    # the block caret ...
    rect(6, 24, 9, 25, WHITE)     # ... with its scan line
    return px


def icon(px):
    xor = b""
    mask = b""
    for row in reversed(px):  # bitmaps are stored bottom up
        nibbles = [(c if c is not None else 0) for c in row]
        xor += bytes((nibbles[i] << 4) | nibbles[i + 1] for i in range(0, SIZE, 2))
        bits = 0
        for c in row:
            bits = (bits << 1) | (1 if c is None else 0)
        mask += bits.to_bytes(SIZE // 8, "big")
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for (b, g, r) in PALETTE)
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, 2 * SIZE, 1, 4, 0, len(xor) + len(mask),
                         0, 0, 16, 0)
    image = header + palette + xor + mask
    directory = struct.pack("<HHH", 0, 1, 1) + struct.pack(
        "<BBBBHHII", SIZE, SIZE, 16, 0, 1, 4, len(image), 6 + 16)
    return directory + image


if __name__ == "__main__":
    with open(sys.argv[1], "wb") as out:
        out.write(icon(draw()))
