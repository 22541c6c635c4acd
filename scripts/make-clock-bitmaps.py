#!/usr/bin/env python3
"""Draws the clock display's liquid-crystal digit bitmaps and the program's bell icon.

Writes res/clock/background.png (151 x 72, the idle face of eights for MM:SS),
res/clock/background-hours.png (151 x 72, the face for HH:MM:SS, an hour or more ahead),
res/clock/digits-large.png (240 x 34, digits 0-9 in cells of 24 x 34), res/clock/digits-medium.png
(180 x 34, cells of 18 x 34), res/clock/digits-small.png (120 x 17, cells of 12 x 17) and
res/icons/bell.png (64 x 64). Standard library only, so it runs anywhere python3 does.
The cell positions must match the face layouts in clockdisplay/ClockFace.cpp.
"""

import math
import os
import struct
import sys
import zlib

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))

PANEL = (170, 181, 138)  # the liquid-crystal glass
UNLIT = (155, 166, 126)  # a segment that is off still shows faintly
LIT = (28, 36, 26)
FRAME = (96, 104, 78)

# Which of the segments a..g each digit lights.
SEGMENTS = {
    0: "abcdef", 1: "bc", 2: "abdeg", 3: "abcdg", 4: "bcfg",
    5: "acdfg", 6: "acdefg", 7: "abc", 8: "abcdefg", 9: "abcdfg",
}

# Destination of every cell on the background: (x, y, large?).
LARGE_CELLS = [(5, 33), (32, 33), (65, 33), (92, 33)]
SMALL_CELLS = [(120, 50), (134, 50)]
# The hours face: HH:MM:SS in digits of one size, the colons between the pairs.
MEDIUM_CELLS = [(8, 33), (28, 33), (56, 33), (76, 33), (104, 33), (124, 33)]
MEDIUM_COLONS = [49, 97]
SAMPLES = 4  # per pixel and axis, for smooth edges


def write_png(path, width, height, rows, alpha=False):
    """rows: list of rows, each a list of (r, g, b) or (r, g, b, a) tuples."""
    raw = bytearray()
    for row in rows:
        raw.append(0)  # no filter
        for pixel in row:
            raw.extend(pixel)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", width, height, 8, 6 if alpha else 2, 0, 0, 0)
    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(bytes(raw), 9))
    png += chunk(b"IEND", b"")
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as out:
        out.write(png)


def blend(under, over, amount):
    return tuple(round(u + (o - u) * amount) for u, o in zip(under, over))


def segment_shapes(width, height, thickness, margin):
    """Each segment as a centre line (x0, y0, x1, y1) with pointed ends."""
    half = thickness / 2
    left, right = margin + half, width - margin - half
    top, bottom, middle = margin + half, height - margin - half, height / 2
    return {
        "a": (left, top, right, top),
        "b": (right, top, right, middle),
        "c": (right, middle, right, bottom),
        "d": (left, bottom, right, bottom),
        "e": (left, middle, left, bottom),
        "f": (left, top, left, middle),
        "g": (left, middle, right, middle),
    }


def inside_segment(px, py, line, thickness, gap):
    x0, y0, x1, y1 = line
    if y0 == y1:  # horizontal
        along, across, start, end = px, abs(py - y0), x0, x1
    else:
        along, across, start, end = py, abs(px - x0), y0, y1
    if across > thickness / 2:
        return False
    # Pointed ends: the segment narrows towards its ends, leaving a small gap to its neighbours.
    return along - start >= across + gap and end - along >= across + gap


def draw_digit(canvas, ox, oy, width, height, digit, thickness, margin, gap):
    shapes = segment_shapes(width, height, thickness, margin)
    lit = set(SEGMENTS[digit]) if digit is not None else set()
    for y in range(height):
        for x in range(width):
            covered = {"lit": 0, "unlit": 0}
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    px = x + (sx + 0.5) / SAMPLES
                    py = y + (sy + 0.5) / SAMPLES
                    for name, line in shapes.items():
                        if inside_segment(px, py, line, thickness, gap):
                            covered["lit" if name in lit else "unlit"] += 1
                            break
            total = SAMPLES * SAMPLES
            colour = blend(PANEL, UNLIT, covered["unlit"] / total)
            colour = blend(colour, LIT, covered["lit"] / total)
            canvas[oy + y][ox + x] = colour


def large_digit(canvas, ox, oy, digit):
    draw_digit(canvas, ox, oy, 24, 34, digit, thickness=4, margin=2, gap=0.7)


def medium_digit(canvas, ox, oy, digit):
    draw_digit(canvas, ox, oy, 18, 34, digit, thickness=3, margin=2, gap=0.6)


def small_digit(canvas, ox, oy, digit):
    draw_digit(canvas, ox, oy, 12, 17, digit, thickness=2, margin=1, gap=0.4)


def canvas_of(width, height, colour):
    return [[colour for _ in range(width)] for _ in range(height)]


def strip(cell_width, height, draw):
    canvas = canvas_of(cell_width * 10, height, PANEL)
    for digit in range(10):
        draw(canvas, digit * cell_width, 0, digit)
    return canvas


def framed_panel():
    canvas = canvas_of(151, 72, PANEL)
    for x in range(151):
        canvas[0][x] = canvas[71][x] = FRAME
    for y in range(72):
        canvas[y][0] = canvas[y][150] = FRAME
    return canvas


def colon(canvas, left):
    for cy in (43, 57):
        for y in range(cy - 2, cy + 2):
            for x in range(left, left + 4):
                canvas[y][x] = LIT


def background():
    canvas = framed_panel()
    for x, y in LARGE_CELLS:
        large_digit(canvas, x, y, 8)
    for x, y in SMALL_CELLS:
        small_digit(canvas, x, y, 8)
    # The colon between minutes and seconds; the area at the top left stays blank for the weekday.
    colon(canvas, 59)
    return canvas


def hours_background():
    canvas = framed_panel()
    for x, y in MEDIUM_CELLS:
        medium_digit(canvas, x, y, 8)
    for left in MEDIUM_COLONS:
        colon(canvas, left)
    return canvas


def bell_icon():
    """A gold bell with its clapper, on a transparent ground."""
    size = 64
    gold, rim, clapper = (236, 184, 48, 255), (120, 78, 8, 255), (96, 64, 16, 255)

    def body_half_width(y, shrink):
        if 12 <= y <= 46:  # the bell widens with a soft curve towards its mouth
            t = (y - 12) / 34
            return 9 + 17 * t ** 2.2 + 3 * math.sin(t * math.pi) - shrink
        if 46 < y <= 50:  # the lip
            return 28 - shrink
        return -1

    def inside(px, py, shrink):
        if math.hypot(px - 32, py - 13) <= 10 - shrink and py <= 13:  # the crown
            return True
        if math.hypot(px - 32, py - 6) <= 4 - shrink:  # the hanging loop
            return True
        return 12 <= py <= 50 - shrink and abs(px - 32) <= body_half_width(py, shrink)

    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            outer = inner = ball = 0
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    px, py = x + (sx + 0.5) / SAMPLES, y + (sy + 0.5) / SAMPLES
                    if math.hypot(px - 32, py - 54) <= 5.5:
                        ball += 1
                    elif inside(px, py, 2.2):
                        inner += 1
                    elif inside(px, py, 0):
                        outer += 1
            total = SAMPLES * SAMPLES
            covered = outer + inner + ball
            if covered == 0:
                row.append((0, 0, 0, 0))
                continue
            colour = [0.0, 0.0, 0.0]
            for weight, (r, g, b, _) in ((outer, rim), (inner, gold), (ball, clapper)):
                colour = [c + v * weight / covered for c, v in zip(colour, (r, g, b))]
            # A highlight down the left of the body.
            if inner and 20 <= y <= 44 and 24 - (y - 20) * 0.25 <= x <= 27 - (y - 20) * 0.25:
                colour = [c + (255 - c) * 0.45 for c in colour]
            row.append(tuple(round(c) for c in colour) + (round(255 * covered / total),))
        rows.append(row)
    return rows


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "res")
    write_png(os.path.join(out, "clock", "background.png"), 151, 72, background())
    write_png(os.path.join(out, "clock", "background-hours.png"), 151, 72, hours_background())
    write_png(os.path.join(out, "clock", "digits-large.png"), 240, 34, strip(24, 34, large_digit))
    write_png(os.path.join(out, "clock", "digits-medium.png"), 180, 34, strip(18, 34, medium_digit))
    write_png(os.path.join(out, "clock", "digits-small.png"), 120, 17, strip(12, 17, small_digit))
    write_png(os.path.join(out, "icons", "bell.png"), 64, 64, bell_icon(), alpha=True)


if __name__ == "__main__":
    main()
