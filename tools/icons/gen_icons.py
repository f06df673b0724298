#!/usr/bin/env python3
"""Draws the program's icons and writes them as .ico files (32-bit colour with alpha,
one image per size) into src/resources/program/icons/.

Every icon is a few flat shapes described in a unit square and rasterised here with
4x4 supersampling, so the icons stay sharp at every size. Run it again after changing
a drawing; the output is deterministic.

  tools/icons/gen_icons.py [OUTPUT_FOLDER]
"""
import math
import os
import struct
import sys

SIZES_PROGRAM = [16, 20, 24, 32, 48, 64]
SIZES_TRAY = [16, 20, 24, 32]
SIZES_MENU = [16, 20, 24, 32, 48, 64]
SUPERSAMPLE = 4


# --- shapes: each answers whether a point (x, y) in the unit square is inside -------

def circle(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def ring(cx, cy, r_out, r_in, start=None, end=None):
    """A ring, or the arc of it from angle `start` to `end` (degrees, clockwise from
    the top)."""
    def inside(x, y):
        d2 = (x - cx) ** 2 + (y - cy) ** 2
        if not (r_in * r_in <= d2 <= r_out * r_out):
            return False
        if start is None:
            return True
        a = math.degrees(math.atan2(x - cx, cy - y)) % 360
        s, e = start % 360, end % 360
        return s <= a <= e if s <= e else (a >= s or a <= e)
    return inside


def rect(x0, y0, x1, y1, radius=0.0):
    def inside(x, y):
        if not (x0 <= x <= x1 and y0 <= y <= y1):
            return False
        if radius <= 0:
            return True
        cx = min(max(x, x0 + radius), x1 - radius)
        cy = min(max(y, y0 + radius), y1 - radius)
        return (x - cx) ** 2 + (y - cy) ** 2 <= radius * radius
    return inside


def segment(x0, y0, x1, y1, width):
    def inside(x, y):
        dx, dy = x1 - x0, y1 - y0
        t = max(0.0, min(1.0, ((x - x0) * dx + (y - y0) * dy) / (dx * dx + dy * dy)))
        px, py = x0 + t * dx, y0 + t * dy
        return (x - px) ** 2 + (y - py) ** 2 <= (width / 2) ** 2
    return inside


def polygon(points):
    def inside(x, y):
        result = False
        j = len(points) - 1
        for i in range(len(points)):
            xi, yi = points[i]
            xj, yj = points[j]
            if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                result = not result
            j = i
        return result
    return inside


def arrow_head(cx, cy, angle, size):
    """A triangle pointing in direction `angle` (degrees, clockwise from the top)."""
    a = math.radians(angle)
    fx, fy = math.sin(a), -math.cos(a)
    sx, sy = -fy, fx
    tip = (cx + fx * size, cy + fy * size)
    left = (cx - fx * size * 0.3 + sx * size * 0.8, cy - fy * size * 0.3 + sy * size * 0.8)
    right = (cx - fx * size * 0.3 - sx * size * 0.8, cy - fy * size * 0.3 - sy * size * 0.8)
    return polygon([tip, left, right])


# --- colours ---------------------------------------------------------------------

BLUE = (0x1F, 0x6F, 0xD0)
DARK_BLUE = (0x14, 0x45, 0x8A)
GREEN = (0x2E, 0x9D, 0x4F)
ORANGE = (0xF0, 0x8A, 0x1C)
RED = (0xD0, 0x35, 0x2B)
WHITE = (0xFF, 0xFF, 0xFF)
GREY = (0x5A, 0x60, 0x6B)
PAPER = (0xF7, 0xF7, 0xF2)
YELLOW = (0xF2, 0xC1, 0x3A)
OUTLINE = (0x3A, 0x3F, 0x48)


def sync_arrows(colour):
    """Two arrows chasing each other round a circle: the program's sign."""
    return [
        (colour, ring(0.5, 0.5, 0.36, 0.24, 20, 150)),
        (colour, arrow_head(0.5 + 0.30 * math.sin(math.radians(155)), 0.5 - 0.30 * math.cos(math.radians(155)), 245, 0.17)),
        (colour, ring(0.5, 0.5, 0.36, 0.24, 200, 330)),
        (colour, arrow_head(0.5 + 0.30 * math.sin(math.radians(335)), 0.5 - 0.30 * math.cos(math.radians(335)), 65, 0.17)),
    ]


def program_icon():
    return [(BLUE, rect(0.04, 0.04, 0.96, 0.96, 0.2))] + sync_arrows(WHITE)


def tray_idle():
    return [(BLUE, circle(0.5, 0.5, 0.49))] + sync_arrows(WHITE)


def tray_busy():
    return [(ORANGE, circle(0.5, 0.5, 0.49))] + sync_arrows(WHITE) + [(WHITE, circle(0.5, 0.5, 0.09))]


def exit_icon():
    return [(RED, circle(0.5, 0.5, 0.46)),
            (WHITE, ring(0.5, 0.54, 0.27, 0.17, 35, 325)),
            (WHITE, segment(0.5, 0.18, 0.5, 0.52, 0.11))]


def stop_icon():
    return [(RED, rect(0.12, 0.12, 0.88, 0.88, 0.12)), (WHITE, rect(0.32, 0.32, 0.68, 0.68, 0.03))]


def document(lines_colour):
    shapes = [(OUTLINE, rect(0.16, 0.06, 0.84, 0.94, 0.06)), (PAPER, rect(0.21, 0.11, 0.79, 0.89, 0.03))]
    for y in (0.28, 0.44, 0.60, 0.76):
        shapes.append((lines_colour, rect(0.30, y - 0.035, 0.70, y + 0.035)))
    return shapes


def log_icon():
    return document(GREY)


def clock_icon():
    return [(OUTLINE, circle(0.5, 0.5, 0.46)), (PAPER, circle(0.5, 0.5, 0.38)),
            (BLUE, segment(0.5, 0.5, 0.5, 0.22, 0.09)), (BLUE, segment(0.5, 0.5, 0.70, 0.60, 0.09)),
            (OUTLINE, circle(0.5, 0.5, 0.06))]


def gear_icon():
    shapes = [(GREY, circle(0.5, 0.5, 0.33))]
    for k in range(8):
        a = math.radians(k * 45)
        x, y = 0.5 + 0.36 * math.sin(a), 0.5 - 0.36 * math.cos(a)
        shapes.append((GREY, segment(0.5, 0.5, x, y, 0.17)))
    shapes.append((WHITE, circle(0.5, 0.5, 0.13)))
    return shapes


def globe(colour):
    return [(colour, circle(0.5, 0.5, 0.46)),
            (WHITE, ring(0.5, 0.5, 0.37, 0.31)),
            (WHITE, segment(0.5, 0.14, 0.5, 0.86, 0.06)),
            (WHITE, segment(0.14, 0.5, 0.86, 0.5, 0.06)),
            (WHITE, lambda x, y: abs(((x - 0.5) / 0.19) ** 2 + ((y - 0.5) / 0.37) ** 2 - 1) < 0.16)]


def language_icon():
    return globe(GREEN)


def online_icon():
    return globe(BLUE)


def help_icon():
    return [(BLUE, circle(0.5, 0.5, 0.46)),
            (WHITE, ring(0.5, 0.38, 0.18, 0.08, 270, 135)),
            (WHITE, segment(0.60, 0.50, 0.5, 0.58, 0.10)),
            (WHITE, segment(0.5, 0.58, 0.5, 0.64, 0.10)),
            (WHITE, circle(0.5, 0.77, 0.065))]


def update_icon():
    return [(GREEN, circle(0.5, 0.5, 0.46)),
            (WHITE, segment(0.5, 0.2, 0.5, 0.6, 0.13)),
            (WHITE, polygon([(0.27, 0.52), (0.73, 0.52), (0.5, 0.8)]))]


def info_icon():
    return [(BLUE, circle(0.5, 0.5, 0.46)),
            (WHITE, circle(0.5, 0.27, 0.07)),
            (WHITE, rect(0.43, 0.40, 0.57, 0.78, 0.02))]


def configure_jobs_icon():
    shapes = [(OUTLINE, rect(0.08, 0.10, 0.92, 0.90, 0.08)), (PAPER, rect(0.13, 0.15, 0.87, 0.85, 0.05))]
    for y in (0.32, 0.5, 0.68):
        shapes.append((BLUE, circle(0.27, y, 0.065)))
        shapes.append((GREY, rect(0.40, y - 0.04, 0.77, y + 0.04)))
    return shapes


def jobs_icon():
    return [(OUTLINE, rect(0.06, 0.16, 0.50, 0.36, 0.05)),
            (OUTLINE, rect(0.06, 0.24, 0.94, 0.86, 0.06)),
            (YELLOW, rect(0.11, 0.29, 0.89, 0.81, 0.04)),
            (BLUE, ring(0.5, 0.55, 0.19, 0.11, 30, 150)),
            (BLUE, ring(0.5, 0.55, 0.19, 0.11, 210, 330))]


ICONS = [
    ("program", program_icon, SIZES_PROGRAM),
    ("idle", tray_idle, SIZES_TRAY),
    ("busy", tray_busy, SIZES_TRAY),
    ("exit", exit_icon, SIZES_MENU),
    ("stop", stop_icon, SIZES_MENU),
    ("logs", log_icon, SIZES_MENU),
    ("plan", clock_icon, SIZES_MENU),
    ("configuration", gear_icon, SIZES_MENU),
    ("language", language_icon, SIZES_MENU),
    ("help", help_icon, SIZES_MENU),
    ("online", online_icon, SIZES_MENU),
    ("updates", update_icon, SIZES_MENU),
    ("information", info_icon, SIZES_MENU),
    ("configure_jobs", configure_jobs_icon, SIZES_MENU),
    ("jobs", jobs_icon, SIZES_MENU),
]


def render(shapes, size):
    """BGRA rows, bottom row first (as a DIB is stored)."""
    rows = []
    n = SUPERSAMPLE
    for py in range(size - 1, -1, -1):
        row = bytearray()
        for px in range(size):
            r = g = b = a = 0.0
            for sy in range(n):
                for sx in range(n):
                    x = (px + (sx + 0.5) / n) / size
                    y = (py + (sy + 0.5) / n) / size
                    colour = None
                    for c, inside in shapes:  # later shapes lie on top
                        if inside(x, y):
                            colour = c
                    if colour is not None:
                        r += colour[0]
                        g += colour[1]
                        b += colour[2]
                        a += 1
            if a:
                cover = a / (n * n)
                row += bytes((round(b / a), round(g / a), round(r / a), round(cover * 255)))
            else:
                row += b"\0\0\0\0"
        rows.append(bytes(row))
    return b"".join(rows)


def ico(images):
    """An .ico file of (size, BGRA bottom-up pixels) images."""
    header = struct.pack("<HHH", 0, 1, len(images))
    entries = b""
    data = b""
    offset = 6 + 16 * len(images)
    for size, pixels in images:
        mask_row = ((size + 31) // 32) * 4
        mask = bytearray(mask_row * size)
        for y in range(size):
            for x in range(size):
                if pixels[(y * size + x) * 4 + 3] == 0:
                    mask[y * mask_row + x // 8] |= 0x80 >> (x % 8)
        bih = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(pixels) + len(mask), 0, 0, 0, 0)
        image = bih + pixels + bytes(mask)
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(image), offset)
        data += image
        offset += len(image)
    return header + entries + data


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "..", "src", "resources", "program", "icons")
    os.makedirs(out, exist_ok=True)
    for name, draw, sizes in ICONS:
        shapes = draw()
        with open(os.path.join(out, name + ".ico"), "wb") as f:
            f.write(ico([(s, render(shapes, s)) for s in sizes]))
        print("wrote", name + ".ico")


if __name__ == "__main__":
    main()
