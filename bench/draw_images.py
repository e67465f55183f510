#!/usr/bin/env python3
"""Draws the benchmark's images as 24-bit BMP files: card faces (white
ground, border, rank marks and suit pips, as a card game ships them) and
photo-like pictures (smooth light, shapes, sensor noise). The same files on
every run.

Usage: draw_images.py DIR
"""
import math
import os
import random
import struct
import sys

CARD_W, CARD_H = 226, 314
PHOTO_W, PHOTO_H = 640, 480
RED, BLACK, WHITE = (200, 20, 30), (10, 10, 10), (255, 255, 255)


def bmp(path, w, h, pixel_rows):
    """pixel_rows: h rows of w (r, g, b) tuples, top row first."""
    pad = (4 - (w * 3) % 4) % 4
    size = 54 + (w * 3 + pad) * h
    with open(path, "wb") as f:
        f.write(b"BM" + struct.pack("<IHHI", size, 0, 0, 54))
        f.write(struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, size - 54, 2835, 2835, 0, 0))
        for row in reversed(pixel_rows):
            line = bytearray()
            for r, g, b in row:
                line += bytes((b, g, r))
            f.write(line + b"\0" * pad)


def in_suit(suit, x, y):
    """Whether (x, y) in the unit square lies inside the suit's shape."""
    if suit == "hearts":
        a, b = (x - 0.5) * 2.2, (0.45 - y) * 2.2
        return (a * a + b * b - 1) ** 3 - a * a * b ** 3 <= 0
    if suit == "diamonds":
        return abs(x - 0.5) / 0.4 + abs(y - 0.5) / 0.5 <= 1
    if suit == "spades":
        a, b = (x - 0.5) * 2.2, (y - 0.5) * 2.2
        stem = abs(x - 0.5) < 0.06 + 0.25 * max(0.0, y - 0.75) and y > 0.55
        return (a * a + b * b - 1) ** 3 - a * a * b ** 3 <= 0 or stem
    # clubs: three leaves and a stem
    for cx, cy in ((0.5, 0.28), (0.28, 0.55), (0.72, 0.55)):
        if (x - cx) ** 2 + (y - cy) ** 2 <= 0.045:
            return True
    return abs(x - 0.5) < 0.06 + 0.25 * max(0.0, y - 0.75) and y > 0.4


# Blocky 5x7 glyphs for the rank marks.
GLYPHS = {
    "A": ["01110", "10001", "10001", "11111", "10001", "10001", "10001"],
    "K": ["10001", "10010", "10100", "11000", "10100", "10010", "10001"],
    "Q": ["01110", "10001", "10001", "10001", "10101", "10010", "01101"],
    "J": ["00111", "00010", "00010", "00010", "00010", "10010", "01100"],
    "7": ["11111", "00001", "00010", "00100", "01000", "01000", "01000"],
    "8": ["01110", "10001", "10001", "01110", "10001", "10001", "01110"],
    "9": ["01110", "10001", "10001", "01111", "00001", "00010", "01100"],
    "1": ["00100", "01100", "00100", "00100", "00100", "00100", "01110"],
    "0": ["01110", "10001", "10011", "10101", "11001", "10001", "01110"],
}


def card(rank, suit):
    ink = RED if suit in ("hearts", "diamonds") else BLACK
    px = [[WHITE] * CARD_W for _ in range(CARD_H)]
    # Rounded border, two pixels wide, in a soft grey.
    for y in range(CARD_H):
        for x in range(CARD_W):
            dx = max(0, 12 - x, x - (CARD_W - 13))
            dy = max(0, 12 - y, y - (CARD_H - 13))
            d = math.hypot(dx, dy)
            if d > 12:
                px[y][x] = (0, 128, 0)  # table green outside the corners
            elif d > 10:
                px[y][x] = (90, 90, 90)
    def blit(glyph, ox, oy, scale):
        for gy, line in enumerate(glyph):
            for gx, bit in enumerate(line):
                if bit == "1":
                    for yy in range(scale):
                        for xx in range(scale):
                            px[oy + gy * scale + yy][ox + gx * scale + xx] = ink
    def pip(cx, cy, size):
        for y in range(size):
            for x in range(size):
                if in_suit(suit, (x + 0.5) / size, (y + 0.5) / size):
                    px[cy - size // 2 + y][cx - size // 2 + x] = ink
    marks = "10" if rank == "10" else rank
    for i, ch in enumerate(marks):
        blit(GLYPHS[ch], 14 + i * 14, 16, 2)
    pip(22, 50, 18)
    counts = {"A": 1, "K": 1, "Q": 1, "J": 1, "7": 7, "8": 8, "9": 9, "10": 10}
    n = counts[rank]
    if n == 1:
        pip(CARD_W // 2, CARD_H // 2, 90 if rank == "A" else 60)
    else:
        cols = (CARD_W // 2 - 45, CARD_W // 2 + 45)
        per_col = (n + 1) // 2
        for k in range(n):
            x = cols[k % 2] if k < 2 * (n // 2) else CARD_W // 2
            y = 80 + (k // 2) * (160 // max(1, per_col - 1))
            pip(x, min(y, CARD_H - 70), 36)
    return px


def photo(seed):
    rnd = random.Random(seed)
    waves = [(rnd.uniform(0.002, 0.02), rnd.uniform(0.002, 0.02), rnd.uniform(0, 6.3),
              rnd.uniform(20, 60)) for _ in range(4)]
    blobs = [(rnd.uniform(0, PHOTO_W), rnd.uniform(0, PHOTO_H), rnd.uniform(30, 140),
              [rnd.uniform(-90, 90) for _ in range(3)]) for _ in range(7)]
    base = [rnd.uniform(60, 180) for _ in range(3)]
    rows = []
    for y in range(PHOTO_H):
        row = []
        for x in range(PHOTO_W):
            light = sum(a * math.sin(fx * x + fy * y + ph) for fx, fy, ph, a in waves)
            c = [base[i] + light + 40 * (y / PHOTO_H - 0.5) for i in range(3)]
            for bx, by, r, col in blobs:
                d2 = ((x - bx) ** 2 + (y - by) ** 2) / (r * r)
                if d2 < 1:
                    for i in range(3):
                        c[i] += col[i] * (1 - d2)
            noise = rnd.gauss(0, 4)
            row.append(tuple(max(0, min(255, int(v + noise + rnd.gauss(0, 2)))) for v in c))
        rows.append(row)
    return rows


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    k = 0
    for suit in ("hearts", "spades", "diamonds", "clubs"):
        for rank in ("A", "K", "Q", "J", "10", "9", "8", "7"):
            bmp(os.path.join(out, "card_%02d.bmp" % k), CARD_W, CARD_H, card(rank, suit))
            k += 1
    for s in range(8):
        bmp(os.path.join(out, "photo_%d.bmp" % s), PHOTO_W, PHOTO_H, photo(s))


if __name__ == "__main__":
    main()
