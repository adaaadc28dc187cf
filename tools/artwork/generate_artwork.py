#!/usr/bin/env python3
"""Draws VEZ-15's icon and panel skin bitmaps from the panel layout.

Usage: generate_artwork.py OUTPUT_DIR

Writes vez15.ico, menu_power.bmp, panel_skin.bmp, knob.bmp, meter_unlit.bmp, meter_lit.bmp,
bypass_off.bmp and bypass_on.bmp. The output is deterministic (own noise generator, integer
rounding only), so the committed files can be checked against a fresh run byte for byte.
Python 3 standard library only.
"""

import os
import struct
import sys

# ---- layout, in pixels from the slider area's origin (must match panel/panel_core.h) ----
SKIN_W, SKIN_H = 660, 177
KNOB_W, KNOB_H = 22, 38
METER_W, METER_H = 10, 105
METER_TOP = 33
METER_X = (521, 537)
BYPASS_X, BYPASS_Y, BYPASS_W, BYPASS_H = 627, 138, 26, 24
BAND_COUNT = 15
BAND_TRACK_TOP, BAND_TRACK_LEN = 25, 127     # knob centre from +12 to -12
GAIN_X, GAIN_TRACK_TOP, GAIN_TRACK_LEN = 603, 33, 111
SCALE_COLUMNS = ((3, 17), (488, 502))         # kept free for the drawn scale labels
FREQ_CAPTIONS = ("25", "40", "63", "100", "160", "250", "400", "630", "1k", "1.6k", "2.5k",
                 "4k", "6.3k", "10k", "16kHz")


def band_x(j):
    return 26 + 32 * j


def row_y(r):
    return 24 + 32 * r


def meter_row_for_db(db):
    """Row (from the slider area's top) where the meter's lit part starts at `db` dBFS."""
    lit = (db + 66.0) * METER_H / 72.0
    return METER_TOP + METER_H - lit


# ---- pixel fonts: 3x5 for the silkscreen captions, 5x7 for the larger legends ----
FONT_3X5 = {
    "0": ["111", "101", "101", "101", "111"], "1": ["010", "110", "010", "010", "111"],
    "2": ["111", "001", "111", "100", "111"], "3": ["111", "001", "011", "001", "111"],
    "4": ["101", "101", "111", "001", "001"], "5": ["111", "100", "111", "001", "111"],
    "6": ["111", "100", "111", "101", "111"], "7": ["111", "001", "010", "010", "010"],
    "8": ["111", "101", "111", "101", "111"], "9": ["111", "101", "111", "001", "111"],
    "k": ["100", "101", "110", "101", "101"], "H": ["101", "101", "111", "101", "101"],
    "z": ["000", "111", "010", "100", "111"], ".": ["0", "0", "0", "0", "1"],
    "G": ["111", "100", "101", "101", "111"], "A": ["010", "101", "111", "101", "101"],
    "I": ["111", "010", "010", "010", "111"], "N": ["1001", "1101", "1011", "1001", "1001"],
    "L": ["100", "100", "100", "100", "111"], "E": ["111", "100", "110", "100", "111"],
    "V": ["101", "101", "101", "101", "010"], "-": ["000", "000", "111", "000", "000"],
    " ": ["0", "0", "0", "0", "0"],
}
FONT_5X7 = {
    "0": ["01110", "10001", "10011", "10101", "11001", "10001", "01110"],
    "1": ["00100", "01100", "00100", "00100", "00100", "00100", "01110"],
    "2": ["01110", "10001", "00001", "00110", "01000", "10000", "11111"],
    "3": ["11110", "00001", "00001", "01110", "00001", "00001", "11110"],
    "4": ["00010", "00110", "01010", "10010", "11111", "00010", "00010"],
    "5": ["11111", "10000", "11110", "00001", "00001", "10001", "01110"],
    "6": ["00110", "01000", "10000", "11110", "10001", "10001", "01110"],
    "8": ["01110", "10001", "10001", "01110", "10001", "10001", "01110"],
    "B": ["11110", "10001", "10001", "11110", "10001", "10001", "11110"],
    "E": ["11111", "10000", "10000", "11110", "10000", "10000", "11111"],
    "I": ["111", "010", "010", "010", "010", "010", "111"],
    "O": ["01110", "10001", "10001", "10001", "10001", "10001", "01110"],
    "V": ["10001", "10001", "10001", "10001", "10001", "01010", "00100"],
    "Z": ["11111", "00001", "00010", "00100", "01000", "10000", "11111"],
    "a": ["00000", "00000", "01110", "00001", "01111", "10001", "01111"],
    "d": ["00001", "00001", "01101", "10011", "10001", "10001", "01111"],
    "n": ["00000", "00000", "10110", "11001", "10001", "10001", "10001"],
    "p": ["00000", "00000", "11110", "10001", "11110", "10000", "10000"],
    "s": ["00000", "00000", "01111", "10000", "01110", "00001", "11110"],
    "t": ["01000", "01000", "11100", "01000", "01000", "01001", "00110"],
    "u": ["00000", "00000", "10001", "10001", "10001", "10011", "01101"],
    "y": ["00000", "00000", "10001", "10001", "01111", "00001", "01110"],
    "-": ["000", "000", "000", "111", "000", "000", "000"],
    " ": ["00", "00", "00", "00", "00", "00", "00"],
}


class Canvas:
    def __init__(self, width, height, colour=(0, 0, 0)):
        self.w, self.h = width, height
        self.px = [list(colour) for _ in range(width * height)]

    def get(self, x, y):
        return tuple(self.px[y * self.w + x])

    def set(self, x, y, c):
        if 0 <= x < self.w and 0 <= y < self.h:
            self.px[y * self.w + x] = [clamp(c[0]), clamp(c[1]), clamp(c[2])]

    def blend(self, x, y, c, alpha):
        """Mixes colour c over the pixel; alpha in 0..256."""
        if 0 <= x < self.w and 0 <= y < self.h:
            p = self.px[y * self.w + x]
            self.px[y * self.w + x] = [(p[i] * (256 - alpha) + c[i] * alpha + 128) >> 8 for i in range(3)]

    def fill(self, x0, y0, x1, y1, c):
        """Fills x0..x1-1, y0..y1-1."""
        for y in range(y0, y1):
            for x in range(x0, x1):
                self.set(x, y, c)

    def shade(self, x0, y0, x1, y1, c, alpha):
        for y in range(y0, y1):
            for x in range(x0, x1):
                self.blend(x, y, c, alpha)

    def frame(self, x0, y0, x1, y1, light, dark):
        """A one-pixel bevel: light top and left, dark bottom and right (inclusive corners)."""
        for x in range(x0, x1 + 1):
            self.set(x, y0, light)
            self.set(x, y1, dark)
        for y in range(y0, y1 + 1):
            self.set(x0, y, light)
            self.set(x1, y, dark)

    def text(self, font, s, x, y, c, alpha=256):
        for ch in s:
            glyph = font[ch]
            for gy, row in enumerate(glyph):
                for gx, bit in enumerate(row):
                    if bit == "1":
                        self.blend(x + gx, y + gy, c, alpha)
            x += len(glyph[0]) + 1

    def text_centred(self, font, s, cx, y, c, alpha=256):
        self.text(font, s, cx - (text_width(font, s) - 1) // 2, y, c, alpha)


def clamp(v):
    return 0 if v < 0 else 255 if v > 255 else int(v)


def text_width(font, s):
    return sum(len(font[ch][0]) + 1 for ch in s) - 1


def mix(a, b, num, den):
    return tuple((a[i] * (den - num) + b[i] * num + den // 2) // den for i in range(3))


class Noise:
    """A small linear congruential generator: the same numbers on every platform and version."""

    def __init__(self, seed):
        self.state = seed & 0xFFFFFFFF

    def next(self, span):
        self.state = (self.state * 1664525 + 1013904223) & 0xFFFFFFFF
        return (self.state >> 16) % span


# ---- the skin ----
BG_TOP, BG_BOTTOM = (62, 64, 67), (40, 41, 44)
SILK = (205, 208, 212)        # printed legends
SILK_DIM = (150, 154, 160)
ACCENT = (96, 214, 226)       # cyan brand accent, the colour of the glowing bypass key


def brushed_background(c):
    noise = Noise(0x5EED15)
    for y in range(c.h):
        base = mix(BG_TOP, BG_BOTTOM, y, c.h - 1)
        streak = noise.next(9) - 4           # every row a slightly different shade: brushing
        run = 0
        for x in range(c.w):
            if x % 7 == 0:
                run = noise.next(5) - 2      # short grain along the row
            d = streak + run
            c.set(x, y, (base[0] + d, base[1] + d, base[2] + d))


def groove(c, cx, y0, y1):
    """A fader slot: a black channel with a lit lower-right lip."""
    for y in range(y0, y1 + 1):
        c.set(cx - 2, y, (18, 18, 20))
        c.set(cx - 1, y, (6, 6, 7))
        c.set(cx, y, (6, 6, 7))
        c.set(cx + 1, y, (24, 24, 26))
        c.set(cx + 2, y, (98, 100, 104))
    for x in range(cx - 2, cx + 3):
        c.set(x, y0 - 1, (22, 22, 24))
        c.set(x, y1 + 1, (100, 102, 106))


def ticks(c, cx, y, major):
    reach = 11 if major else 9
    inner = 5
    colour = SILK if major else SILK_DIM
    for x in range(cx - reach, cx - inner + 1):
        c.set(x, y, colour)
    for x in range(cx + inner, cx + reach + 1):
        c.set(x, y, colour)


def minor_ticks(c, cx, y):
    for x in range(cx - 7, cx - 5 + 1):
        c.blend(x, y, SILK_DIM, 150)
    for x in range(cx + 5, cx + 7 + 1):
        c.blend(x, y, SILK_DIM, 150)


def draw_bands(c):
    for j in range(BAND_COUNT):
        cx = band_x(j)
        groove(c, cx, 21, 155)
        for r in range(5):
            ticks(c, cx, row_y(r), r == 2)
        for r in range(4):
            minor_ticks(c, cx, row_y(r) + 16)
        # captions above and below the travel of the knob (rows 1..5 and 171..175)
        c.text_centred(FONT_3X5, FREQ_CAPTIONS[j], cx, 1, SILK)
        c.text_centred(FONT_3X5, FREQ_CAPTIONS[j], cx, 171, SILK_DIM)
    # a faint guide line through the 0 dB row joins the bands like a printed scale
    for x in range(20, band_x(BAND_COUNT - 1) + 8):
        if all(abs(x - band_x(j)) > 11 for j in range(BAND_COUNT)):
            c.blend(x, row_y(2), SILK_DIM, 70)


def recessed_panel(c, x0, y0, x1, y1):
    c.shade(x0 + 1, y0 + 1, x1, y1, (14, 15, 17), 170)
    c.frame(x0, y0, x1, y1, (22, 22, 24), (112, 115, 120))


def draw_meters(c):
    x0, y0, x1, y1 = 513, 24, 581, 158
    recessed_panel(c, x0, y0, x1, y1)
    c.text(FONT_3X5, "LEVEL", 516, 27, SILK_DIM)
    for mx in METER_X:  # wells: a dark rim around the meter rectangle
        c.frame(mx - 1, METER_TOP - 1, mx + METER_W, METER_TOP + METER_H, (4, 4, 5), (70, 72, 76))
        c.fill(mx, METER_TOP, mx + METER_W, METER_TOP + METER_H, (0, 0, 0))
    for i, db in enumerate((0, 12, 24, 36, 48, 60)):
        y = int(meter_row_for_db(-db) + 0.5)
        for x in range(549, 552):
            c.set(x, y, SILK)
        c.text(FONT_5X7, str(db), 556, y - 3, SILK if db == 0 else SILK_DIM)
    c.text_centred(FONT_5X7, "In", METER_X[0] + 4, 143, SILK)
    c.text_centred(FONT_5X7, "Out", METER_X[1] + 5, 143, SILK)
    c.text(FONT_5X7, "dB", 560, 143, SILK_DIM)


def draw_gain(c):
    groove(c, GAIN_X, GAIN_TRACK_TOP - 4, GAIN_TRACK_TOP + GAIN_TRACK_LEN + 4)
    for k in range(9):  # every 3 dB, the 0 dB mark longest
        y = GAIN_TRACK_TOP + (GAIN_TRACK_LEN * k + 4) // 8
        reach = 621 if k == 4 else 618 if k % 2 == 0 else 616
        for x in range(GAIN_X + 12, reach + 1):
            c.set(x, y, SILK if k % 2 == 0 else SILK_DIM)
    c.text(FONT_5X7, "0", 624, 86, SILK)
    c.text(FONT_5X7, "dB", 631, 86, SILK)
    c.text_centred(FONT_3X5, "GAIN", GAIN_X, 1, SILK)


def draw_bypass_legend(c):
    recessed_panel(c, BYPASS_X - 3, BYPASS_Y - 3, BYPASS_X + BYPASS_W + 2, BYPASS_Y + BYPASS_H + 2)
    c.text_centred(FONT_5X7, "Bypass", BYPASS_X + BYPASS_W // 2, 166, SILK)


def draw_brand(c):
    x = 656 - text_width(FONT_5X7, "VEZ-15")
    c.text(FONT_5X7, "VEZ-15", x, 12, ACCENT)
    for xx in range(x, 657):
        c.blend(xx, 21, ACCENT, 110)


def make_skin():
    c = Canvas(SKIN_W, SKIN_H)
    brushed_background(c)
    draw_bands(c)
    draw_meters(c)
    draw_gain(c)
    draw_bypass_legend(c)
    draw_brand(c)
    c.frame(0, 0, SKIN_W - 1, SKIN_H - 1, (150, 153, 158), (96, 98, 102))
    return c


# ---- knob, meters, bypass key ----
def make_knob():
    c = Canvas(KNOB_W, KNOB_H, (0, 0, 0))
    top, bottom = (214, 216, 220), (112, 114, 118)
    for y in range(KNOB_H):
        base = mix(top, bottom, y, KNOB_H - 1)
        for x in range(KNOB_W):
            # a rounded cap: a light left edge, a dark right edge, lit face in between
            edge = 26 if x == 1 else -34 if x == KNOB_W - 2 else 0
            c.set(x, y, (base[0] + edge, base[1] + edge, base[2] + edge))
        if y % 3 == 0 and 3 <= y <= KNOB_H - 4 and abs(y - 19) > 2:
            for x in range(2, KNOB_W - 2):  # grip ridges
                c.blend(x, y, (60, 62, 66), 150)
        if y % 3 == 1 and 3 <= y <= KNOB_H - 4 and abs(y - 19) > 2:
            for x in range(2, KNOB_W - 2):
                c.blend(x, y, (255, 255, 255), 60)
    for x in range(1, KNOB_W - 1):  # the centre line marks the value
        c.set(x, 19, (16, 16, 18))
        c.set(x, 18, (236, 238, 240))
        c.set(x, 20, (236, 238, 240))
    c.frame(0, 0, KNOB_W - 1, KNOB_H - 1, (236, 238, 242), (42, 43, 46))
    for (x, y) in ((0, 0), (KNOB_W - 1, 0), (0, KNOB_H - 1), (KNOB_W - 1, KNOB_H - 1)):
        c.set(x, y, (30, 31, 33))  # rounded corners against the dark slot
    return c


METER_RED = (255, 54, 0)
METER_YELLOW, METER_GREEN, METER_CYAN = (229, 218, 69), (17, 202, 30), (0, 206, 208)
METER_RED_ROWS = 8


def meter_lit_colour(y):
    if y < METER_RED_ROWS:
        return METER_RED
    if y <= 40:
        return mix(METER_YELLOW, METER_GREEN, y - METER_RED_ROWS, 40 - METER_RED_ROWS)
    return mix(METER_GREEN, METER_CYAN, y - 40, METER_H - 1 - 40)


def meter_segments(c):
    """LED-bar look: every fourth row is a dark gap, the side columns slightly shaded."""
    for y in range(c.h):
        for x in range(c.w):
            if y % 4 == 3:
                c.blend(x, y, (0, 0, 0), 150)
            elif x in (0, c.w - 1):
                c.blend(x, y, (0, 0, 0), 60)


def make_meter_lit():
    c = Canvas(METER_W, METER_H)
    for y in range(METER_H):
        c.fill(0, y, METER_W, y + 1, meter_lit_colour(y))
    meter_segments(c)
    return c


def make_meter_unlit():
    c = Canvas(METER_W, METER_H)
    for y in range(METER_H):
        colour = (64, 10, 6) if y < METER_RED_ROWS else mix((34, 36, 24), (18, 34, 36), y, METER_H - 1)
        c.fill(0, y, METER_W, y + 1, colour)
    meter_segments(c)
    return c


def make_bypass(on):
    c = Canvas(BYPASS_W, BYPASS_H)
    if on:
        face_top, face_bottom = (150, 250, 255), (0, 178, 206)
    else:
        face_top, face_bottom = (170, 172, 176), (104, 106, 110)
    for y in range(BYPASS_H):
        colour = mix(face_top, face_bottom, y, BYPASS_H - 1)
        c.fill(0, y, BYPASS_W, y + 1, colour)
    if on:  # a bright core, as if lit from behind
        for y in range(5, BYPASS_H - 5):
            for x in range(5, BYPASS_W - 5):
                d = max(abs(2 * x - (BYPASS_W - 1)), abs(2 * y - (BYPASS_H - 1)))
                c.blend(x, y, (235, 255, 255), max(0, 150 - 9 * d))
    c.frame(0, 0, BYPASS_W - 1, BYPASS_H - 1, (20, 20, 22), (20, 20, 22))
    light = (225, 255, 255) if on else (222, 224, 228)
    dark = (0, 110, 130) if on else (62, 63, 66)
    c.frame(1, 1, BYPASS_W - 2, BYPASS_H - 2, light, dark)
    c.frame(2, 2, BYPASS_W - 3, BYPASS_H - 3, mix(light, face_top, 1, 2), mix(dark, face_bottom, 1, 2))
    return c


# ---- icon and menu bitmap ----
def make_icon_image(size):
    """A dark rounded tile with five fader knobs set to an EQ curve, cyan accent."""
    c = Canvas(size, size, (0, 0, 0))
    alpha = [[0] * size for _ in range(size)]
    r = size // 6
    for y in range(size):
        for x in range(size):
            dx = max(r - x, x - (size - 1 - r), 0)
            dy = max(r - y, y - (size - 1 - r), 0)
            if dx * dx + dy * dy <= r * r:
                alpha[y][x] = 255
                c.set(x, y, mix((70, 72, 76), (30, 31, 34), y, size - 1))
    s = size / 32.0
    heights = (0.62, 0.38, 0.5, 0.3, 0.56)
    for i, h in enumerate(heights):
        cx = int((6 + 5 * i) * s + 0.5)
        for y in range(int(5 * s), int(27 * s)):
            c.set(cx, y, (8, 8, 10))
        ky = int(h * 32 * s)
        c.fill(cx - int(2 * s), ky - max(1, int(2 * s)), cx + int(2 * s) + 1, ky + max(1, int(2 * s)) + 1,
               (120, 236, 246) if i == 2 else (214, 216, 220))
    return c, alpha


def ico_bytes(images):
    entries = []
    blobs = []
    for c, alpha in images:
        n = c.w
        header = struct.pack("<IiiHHIIiiII", 40, n, 2 * n, 1, 32, 0, 0, 0, 0, 0, 0)
        rows = []
        for y in range(n - 1, -1, -1):
            row = bytearray()
            for x in range(n):
                p = c.get(x, y)
                row += bytes((p[2], p[1], p[0], alpha[y][x]))
            rows.append(bytes(row))
        mask_stride = ((n + 31) // 32) * 4
        mask = bytearray()
        for y in range(n - 1, -1, -1):
            bits = bytearray(mask_stride)
            for x in range(n):
                if alpha[y][x] == 0:
                    bits[x // 8] |= 0x80 >> (x % 8)
            mask += bits
        blob = header + b"".join(rows) + bytes(mask)
        blobs.append(blob)
        entries.append(n)
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for n, blob in zip(entries, blobs):
        out += struct.pack("<BBBBHHII", n % 256, n % 256, 0, 0, 1, 32, len(blob), offset)
        offset += len(blob)
    for blob in blobs:
        out += blob
    return bytes(out)


def make_power_bits():
    """16x16, 1 = black: a power symbol (a broken ring with a bar through the gap)."""
    bits = [[0] * 16 for _ in range(16)]
    cx, cy = 7.5, 8.5
    for y in range(16):
        for x in range(16):
            d2 = (x - cx) ** 2 + (y - cy) ** 2
            if 4.6 ** 2 <= d2 <= 6.2 ** 2 and not (y < 6 and abs(x - cx) < 3):
                bits[y][x] = 1
    for y in range(1, 9):
        bits[y][7] = bits[y][8] = 1
    return bits


def bmp24_bytes(c):
    stride = (c.w * 3 + 3) & ~3
    pixels = bytearray()
    for y in range(c.h - 1, -1, -1):
        row = bytearray()
        for x in range(c.w):
            p = c.get(x, y)
            row += bytes((p[2], p[1], p[0]))
        row += bytes(stride - len(row))
        pixels += row
    info = struct.pack("<IiiHHIIiiII", 40, c.w, c.h, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    head = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(pixels), 0, 0, 14 + len(info))
    return head + info + bytes(pixels)


def bmp1_bytes(bits):
    h, w = len(bits), len(bits[0])
    stride = ((w + 31) // 32) * 4
    pixels = bytearray()
    for y in range(h - 1, -1, -1):
        row = bytearray(stride)
        for x in range(w):
            if not bits[y][x]:  # palette entry 1 is white
                row[x // 8] |= 0x80 >> (x % 8)
        pixels += row
    palette = bytes((0, 0, 0, 0, 255, 255, 255, 0))
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 1, 0, len(pixels), 2835, 2835, 2, 2)
    offset = 14 + len(info) + len(palette)
    head = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    return head + info + palette + bytes(pixels)


def generate(out_dir):
    files = {
        "panel_skin.bmp": bmp24_bytes(make_skin()),
        "knob.bmp": bmp24_bytes(make_knob()),
        "meter_unlit.bmp": bmp24_bytes(make_meter_unlit()),
        "meter_lit.bmp": bmp24_bytes(make_meter_lit()),
        "bypass_off.bmp": bmp24_bytes(make_bypass(False)),
        "bypass_on.bmp": bmp24_bytes(make_bypass(True)),
        "menu_power.bmp": bmp1_bytes(make_power_bits()),
        "vez15.ico": ico_bytes([make_icon_image(32), make_icon_image(16)]),
    }
    os.makedirs(out_dir, exist_ok=True)
    for name, data in sorted(files.items()):
        with open(os.path.join(out_dir, name), "wb") as f:
            f.write(data)
    return sorted(files)


def main(argv):
    if len(argv) != 2:
        sys.stderr.write("usage: generate_artwork.py OUTPUT_DIR  (e.g. resources)\n")
        return 2
    try:
        names = generate(argv[1])
    except OSError as e:
        sys.stderr.write("generate_artwork: cannot write into %s: %s\n" % (argv[1], e))
        return 1
    print("wrote %d files into %s: %s" % (len(names), argv[1], ", ".join(names)))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
