#!/usr/bin/env python3
"""Draws Tavisk's bitmaps and icons and writes them as BMP and ICO files.

Every picture is described here with signed-distance shapes (circles, boxes, polygons,
thick segments) painted in layers: a layer paints its outline colour over the whole shape
and its fill colour over the shape shrunk by the outline width, so every object gets a clean
one-pixel outline at every size. Shapes are antialiased by supersampling. Bitmaps keep a hard
silhouette over the magenta (255, 0, 255) key colour and are quantised to an 8-bit palette;
icons keep their antialiased edges in 32-bit colour with alpha plus an AND mask.

The application icon is also written as PNG files for the desktop's icon theme, one per size
of the hicolor theme, from the same drawing as the icon inside the language modules.

Usage: make_art.py [--out DIR] [--icons DIR] [--preview DIR] [--check]
  --out      where the .bmp and .ico files go (default: this script's folder)
  --icons    where the theme icons go, as hicolor/<size>x<size>/apps/tavisk.png
             (default: desktop/icons of the source tree)
  --preview  also write magnified PNG contact sheets there, decoded back from the files
  --check    write nothing; exit 1 when a file there differs from what would be written
             (PNG files are compared by their pixels, which do not depend on the zlib build)

Python 3 standard library only.
"""

import argparse
import colorsys
import math
import os
import struct
import zlib

SUPERSAMPLE = 4  # samples per pixel along each axis
MAGENTA = (255, 0, 255)

# ---------------------------------------------------------------------------------------
# Signed distance shapes: functions (x, y) -> distance to the edge, negative inside.


def circle(cx, cy, r):
    return lambda x, y: math.hypot(x - cx, y - cy) - r


def box(x0, y0, x1, y1, radius=0.0):
    cx, cy = (x0 + x1) / 2, (y0 + y1) / 2
    hx, hy = (x1 - x0) / 2 - radius, (y1 - y0) / 2 - radius

    def sdf(x, y):
        dx, dy = abs(x - cx) - hx, abs(y - cy) - hy
        outside = math.hypot(max(dx, 0.0), max(dy, 0.0))
        return outside + min(max(dx, dy), 0.0) - radius

    return sdf


def segment(ax, ay, bx, by, width):
    """A stroke of the given width between two points, with round ends."""
    vx, vy = bx - ax, by - ay
    length2 = vx * vx + vy * vy

    def sdf(x, y):
        t = max(0.0, min(1.0, ((x - ax) * vx + (y - ay) * vy) / length2))
        return math.hypot(x - ax - t * vx, y - ay - t * vy) - width / 2

    return sdf


def bar(ax, ay, bx, by, width):
    """A rectangle of the given width along the segment a-b, with square ends at a and b."""
    length = math.hypot(bx - ax, by - ay)
    ux, uy = (bx - ax) / length, (by - ay) / length
    cx, cy = (ax + bx) / 2, (ay + by) / 2

    def sdf(x, y):
        px, py = x - cx, y - cy
        along, across = abs(px * ux + py * uy) - length / 2, abs(-px * uy + py * ux) - width / 2
        outside = math.hypot(max(along, 0.0), max(across, 0.0))
        return outside + min(max(along, across), 0.0)

    return sdf


def polygon(points):
    n = len(points)

    def sdf(x, y):
        d = float("inf")
        inside = False
        for i in range(n):
            ax, ay = points[i]
            bx, by = points[i - 1]
            ex, ey = bx - ax, by - ay
            wx, wy = x - ax, y - ay
            t = max(0.0, min(1.0, (wx * ex + wy * ey) / (ex * ex + ey * ey)))
            d = min(d, math.hypot(wx - ex * t, wy - ey * t))
            if (ay > y) != (by > y) and x < (bx - ax) * (y - ay) / (by - ay) + ax:
                inside = not inside
        return -d if inside else d

    return sdf


def union(*shapes):
    return lambda x, y: min(s(x, y) for s in shapes)


def intersect(*shapes):
    return lambda x, y: max(s(x, y) for s in shapes)


def subtract(shape, *holes):
    return lambda x, y: max(shape(x, y), *(-h(x, y) for h in holes))


def ring(cx, cy, outer, inner):
    return subtract(circle(cx, cy, outer), circle(cx, cy, inner))


def inset(shape, amount):
    return lambda x, y: shape(x, y) + amount


# ---------------------------------------------------------------------------------------
# Colours: an (r, g, b) tuple of 0..255 values, or a function (x, y) -> (r, g, b).


def mix(a, b, t):
    t = max(0.0, min(1.0, t))
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


def gradient(c0, c1, x0, y0, x1, y1):
    """Linear gradient from c0 at (x0, y0) to c1 at (x1, y1)."""
    dx, dy = x1 - x0, y1 - y0
    length2 = dx * dx + dy * dy
    return lambda x, y: mix(c0, c1, ((x - x0) * dx + (y - y0) * dy) / length2)


def radial(c0, c1, cx, cy, r):
    return lambda x, y: mix(c0, c1, math.hypot(x - cx, y - cy) / r)


def colour_at(colour, x, y):
    return colour(x, y) if callable(colour) else colour


# ---------------------------------------------------------------------------------------
# Canvas: premultiplied RGBA floats (0..1).


class Canvas:
    def __init__(self, width, height):
        self.width, self.height = width, height
        self.px = [[0.0, 0.0, 0.0, 0.0] for _ in range(width * height)]

    def coverage(self, shape, x, y):
        """Fraction of pixel (x, y) inside the shape."""
        centre = shape(x + 0.5, y + 0.5)
        if centre > 0.75:
            return 0.0
        if centre < -0.75:
            return 1.0
        n = SUPERSAMPLE
        hits = 0
        for j in range(n):
            for i in range(n):
                if shape(x + (i + 0.5) / n, y + (j + 0.5) / n) <= 0:
                    hits += 1
        return hits / (n * n)

    def fill(self, shape, colour, opacity=1.0):
        for y in range(self.height):
            for x in range(self.width):
                a = self.coverage(shape, x, y) * opacity
                if a <= 0:
                    continue
                r, g, b = colour_at(colour, x + 0.5, y + 0.5)
                p = self.px[y * self.width + x]
                keep = 1 - a
                p[0] = r / 255 * a + p[0] * keep
                p[1] = g / 255 * a + p[1] * keep
                p[2] = b / 255 * a + p[2] * keep
                p[3] = a + p[3] * keep

    def draw(self, shape, fill, outline, width=1.0):
        """Paints the shape with a `width` outline in `outline` and its inside in `fill`."""
        if outline is not None:
            self.fill(shape, outline)
        if fill is not None:
            self.fill(inset(shape, width), fill)

    def erase(self, shape):
        """Makes the shape transparent again (a hole)."""
        for y in range(self.height):
            for x in range(self.width):
                a = self.coverage(shape, x, y)
                if a > 0:
                    p = self.px[y * self.width + x]
                    for k in range(4):
                        p[k] *= 1 - a

    def rgba(self, x, y):
        """Straight (not premultiplied) 0..255 RGBA of a pixel."""
        r, g, b, a = self.px[y * self.width + x]
        if a <= 0:
            return (0, 0, 0, 0)
        return tuple(max(0, min(255, round(c / a * 255))) for c in (r, g, b)) + (round(a * 255),)

    def blit(self, other, ox, oy):
        for y in range(other.height):
            for x in range(other.width):
                self.px[(y + oy) * self.width + x + ox] = list(other.px[y * other.width + x])


# ---------------------------------------------------------------------------------------
# Palette of the drawings.

OUTLINE = (52, 54, 66)
SILVER = (202, 207, 218)
DISC_EDGE = (78, 82, 96)
FOLDER_OUTLINE = (128, 88, 14)
FOLDER_BACK = (222, 170, 48)
FOLDER_FRONT_TOP = (255, 232, 130)
FOLDER_FRONT_BOTTOM = (240, 192, 64)
CARDBOARD_OUTLINE = (96, 60, 22)
CARDBOARD = (206, 152, 86)
CARDBOARD_TOP = (232, 190, 128)
CARDBOARD_SIDE = (174, 118, 58)
TAPE = (150, 96, 40)
GREEN_OUTLINE = (18, 92, 18)
RED_OUTLINE = (120, 8, 8)


def disc_surface(cx, cy, r):
    """Silver with two light wedges along one diagonal and a faint rainbow sheen."""

    def colour(x, y):
        dx, dy = x - cx, y - cy
        angle = math.atan2(dy, dx)
        hue = (angle / (2 * math.pi) * 2 + 0.08) % 1.0
        rainbow = tuple(c * 255 for c in colorsys.hsv_to_rgb(hue, 0.45, 1.0))
        base = mix(SILVER, rainbow, 0.32)
        shine = max(0.0, math.cos(2 * (angle + math.pi / 4))) ** 6
        lit = mix(base, (255, 255, 255), 0.75 * shine)
        shade = (dx + dy) / (2.0 * r)  # darker toward the bottom right
        return mix(lit, (120, 126, 140), 0.35 * max(0.0, shade))

    return colour


def draw_disc(c, cx, cy, r, hole=True):
    """A compact disc of radius r: silver surface, clear hub, transparent centre hole."""
    c.draw(circle(cx, cy, r), disc_surface(cx, cy, r), DISC_EDGE)
    hub = max(1.9, r * 0.36)
    c.fill(circle(cx, cy, hub), (150, 156, 170))
    c.fill(circle(cx, cy, hub - 0.8), radial((238, 241, 247), (214, 218, 228), cx, cy, hub))
    if hole:
        hole_r = max(1.0, r * 0.13)
        c.fill(circle(cx, cy, hole_r + 0.9), (120, 124, 138))
        c.erase(circle(cx, cy, hole_r))


def draw_plus(c, cx, cy, arm, half):
    shape = union(box(cx - arm, cy - half, cx + arm, cy + half),
                  box(cx - half, cy - arm, cx + half, cy + arm))
    c.draw(shape, gradient((130, 236, 96), (24, 150, 24), cx - arm, cy - arm, cx + arm, cy + arm),
           GREEN_OUTLINE)


def draw_cross(c, cx, cy, arm, width):
    shape = union(segment(cx - arm, cy - arm, cx + arm, cy + arm, width),
                  segment(cx + arm, cy - arm, cx - arm, cy + arm, width))
    c.draw(shape, gradient((255, 96, 80), (196, 20, 14), cx - arm, cy - arm, cx + arm, cy + arm),
           RED_OUTLINE)


def draw_down_arrow(c, cx, top, bottom, shaft_half, head_half, head_h):
    """A bold arrow pointing down, centred on x = cx, from `top` to its tip at `bottom`."""
    shape = union(box(cx - shaft_half, top, cx + shaft_half, bottom - head_h + 1),
                  polygon([(cx - head_half, bottom - head_h), (cx + head_half, bottom - head_h),
                           (cx, bottom)]))
    # A thinner outline keeps the slanted edges of the head one pixel wide.
    c.draw(shape, gradient((130, 236, 96), (24, 150, 24), cx - head_half, top, cx + head_half,
                           bottom), GREEN_OUTLINE, width=0.75)


def draw_binoculars(c, x0, y0, barrel_w, gap, height):
    """Binoculars seen from the front: two barrels `barrel_w` wide, `gap` apart, with their
    eyepieces on top and their blue objective lenses below. Whole-pixel geometry."""
    body, body_lit, edge = (62, 66, 82), (156, 162, 186), (20, 20, 28)
    eye_h = max(3, round(height * 0.3))
    lens_r = barrel_w / 2 - 1.0
    lens_y = y0 + height - lens_r - 1.5
    for bx in (x0, x0 + barrel_w + gap):
        shape = union(box(bx, y0 + eye_h - 1, bx + barrel_w, y0 + height, 1.0),
                      box(bx + 1, y0, bx + barrel_w - 1, y0 + eye_h))
        c.draw(shape, gradient(body_lit, body, bx + 1, 0, bx + barrel_w - 1, 0), edge)
        cx = bx + barrel_w / 2
        c.draw(circle(cx, lens_y, lens_r + 0.5),
               radial((160, 206, 255), (34, 74, 168), cx - 0.6, lens_y - 0.6, lens_r + 0.5),
               (16, 24, 60))
        c.fill(box(cx - 1, lens_y - 1, cx, lens_y), (236, 246, 255))
    bridge_x0 = x0 + barrel_w - 1
    c.draw(box(bridge_x0, y0 + eye_h - 1, bridge_x0 + gap + 2, y0 + eye_h + 2), (96, 100, 118), edge)


def draw_gear(c, cx, cy, outer, inner, hole, teeth=8):
    tooth_w = outer * 0.42
    spokes = [bar(cx, cy, cx + outer * math.cos(a), cy + outer * math.sin(a), tooth_w)
              for a in (2 * math.pi * k / teeth + math.pi / teeth for k in range(teeth))]
    shape = subtract(union(circle(cx, cy, inner), intersect(circle(cx, cy, outer), union(*spokes))),
                     circle(cx, cy, hole))
    c.draw(shape, gradient((214, 222, 236), (112, 124, 146), cx - outer, cy - outer, cx + outer,
                           cy + outer), (44, 50, 66))
    c.fill(ring(cx, cy, hole + 1.0, hole), (92, 100, 120))


def draw_life_buoy(c, cx, cy, outer, inner):
    def colour(x, y):
        angle = math.atan2(y - cy, x - cx) + math.pi / 8
        red = int(math.floor(angle / (math.pi / 4))) % 2 == 0
        light = max(0.0, -((x - cx) + (y - cy)) / (2 * outer))
        dark = max(0.0, ((x - cx) + (y - cy)) / (2 * outer))
        base = (226, 36, 30) if red else (250, 250, 250)
        shaded = mix(base, (120, 10, 10) if red else (170, 176, 190), 0.6 * dark)
        return mix(shaded, (255, 255, 255), 0.25 * light)

    c.draw(ring(cx, cy, outer, inner), colour, (70, 30, 30))


def folder_back_shape(x0, y0, x1, y1, tab_w, tab_h):
    return union(box(x0, y0, x0 + tab_w, y0 + tab_h + 2), box(x0, y0 + tab_h, x1, y1))


def draw_folder(c, x0, y0, x1, y1, opened=False):
    """A manila folder in the box (x0, y0)-(x1, y1); opened shows its flap tipped forward."""
    h = y1 - y0
    w = x1 - x0
    tab_w, tab_h = round(w * 0.42), max(2, round(h * 0.16))
    c.draw(folder_back_shape(x0, y0, x1, y1, tab_w, tab_h),
           gradient((238, 190, 70), FOLDER_BACK, x0, y0, x0, y1), FOLDER_OUTLINE)
    top = y0 + tab_h + max(2, round(h * 0.16))
    if opened:
        c.draw(box(x0 + round(w * 0.16), y0 + tab_h - 1, x1 - round(w * 0.1), y1 - 1),
               (250, 250, 252), (140, 140, 150))
        front = polygon([(x0 + round(w * 0.22), top), (x1, top), (x1 - round(w * 0.16), y1),
                         (x0, y1)])
    else:
        front = box(x0, top, x1, y1)
    c.draw(front, gradient(FOLDER_FRONT_TOP, FOLDER_FRONT_BOTTOM, x0, top, x0, y1), FOLDER_OUTLINE)


def draw_parcel(c, x0, y0, x1, y1):
    """A cardboard parcel seen from above and the front, taped across its lid."""
    w, h = x1 - x0, y1 - y0
    depth = round(max(3, h * 0.3))  # height of the lid seen from above
    skew = depth
    front = box(x0, y0 + depth, x1 - skew, y1)
    lid = polygon([(x0, y0 + depth), (x0 + skew, y0), (x1, y0), (x1 - skew, y0 + depth)])
    side = polygon([(x1 - skew, y0 + depth), (x1, y0), (x1, y1 - depth), (x1 - skew, y1)])
    c.fill(union(front, lid, side), CARDBOARD_OUTLINE)
    c.fill(inset(front, 1), gradient(CARDBOARD, (184, 128, 66), x0, y0 + depth, x0, y1))
    c.fill(inset(lid, 0.8), CARDBOARD_TOP)
    c.fill(inset(side, 0.8), CARDBOARD_SIDE)
    tape_w = max(2, round(w * 0.17))
    mid = (x0 + x1 - skew) / 2
    c.fill(intersect(inset(front, 1), box(mid - tape_w / 2, 0, mid + tape_w / 2, 999)), TAPE)
    c.fill(intersect(inset(lid, 0.8), bar(mid - 2, y0 + depth + 2 * depth / skew,
                                          mid + skew + 2, y0 - 2 * depth / skew, tape_w)),
           (190, 136, 70))


def draw_page(c, x0, y0, x1, y1):
    fold = (x1 - x0) * 0.36
    sheet = polygon([(x0, y0), (x1 - fold, y0), (x1, y0 + fold), (x1, y1), (x0, y1)])
    c.draw(sheet, gradient((255, 255, 255), (226, 230, 238), x0, y0, x1, y1), (88, 92, 108))
    ear = polygon([(x1 - fold, y0), (x1 - fold, y0 + fold), (x1, y0 + fold)])
    c.draw(ear, (214, 218, 230), (88, 92, 108))


def draw_card_box(c, x0, y0, x1, y1, u):
    """The catalogue: a wooden card box with a brass label holder (and a pull when there
    is room for one); u is the size of one pixel of the 16-pixel design."""
    c.draw(box(x0, y0, x1, y1, 1.2 * u), gradient((204, 136, 68), (126, 70, 28), x0, y0, x0, y1),
           (70, 38, 12))
    c.fill(box(x0 + 1, y0 + 1, x1 - 1, y0 + 1 + max(1.0, round(1.2 * u))), (228, 168, 100))
    w, h = x1 - x0, y1 - y0
    lw, lh = round(w * 0.38), max(3, round(h * 0.3))
    lx, ly = round((x0 + x1) / 2 - lw / 2), round(y0 + h * 0.3)
    brass = gradient((255, 240, 190), (206, 166, 80), lx, ly, lx, ly + lh)
    c.draw(box(lx, ly, lx + lw, ly + lh, 0.4 * u), brass, (104, 74, 18))
    if u >= 2:
        # Two lines of writing on the label's card.
        for k in range(2):
            yy = ly + lh * (0.38 + 0.28 * k)
            c.fill(segment(lx + lw * 0.24, yy, lx + lw * (0.76 - 0.22 * k), yy, 0.45 * u),
                   (96, 70, 30))
    if u >= 2:
        # A brass pull under the label.
        px0, px1 = (x0 + x1) / 2 - lw * 0.3, (x0 + x1) / 2 + lw * 0.3
        py = ly + lh + 1.6 * u
        c.draw(segment(px0, py, px1, py, 1.5 * u), gradient((255, 236, 170), (176, 132, 50), 0, py - u,
                                                           0, py + u), (90, 60, 14))


# ---------------------------------------------------------------------------------------
# The pictures.


def picture_disc():
    c = Canvas(16, 16)
    draw_disc(c, 8, 8, 7.45)
    return c


def toolbar_new():
    c = Canvas(16, 16)
    draw_disc(c, 7, 7, 6.8)
    draw_plus(c, 12, 12, 4, 1.6)
    return c


def toolbar_update():
    c = Canvas(16, 16)
    draw_disc(c, 7, 7, 6.8)
    draw_down_arrow(c, 12, 6, 16, 2, 4.5, 5)
    return c


def toolbar_delete():
    c = Canvas(16, 16)
    draw_disc(c, 7, 7, 6.8)
    draw_cross(c, 12, 12, 2.6, 3.6)
    return c


def toolbar_search():
    c = Canvas(16, 16)
    draw_binoculars(c, 0, 1, 7, 2, 15)
    return c


def toolbar_configure():
    c = Canvas(16, 16)
    draw_gear(c, 8, 8, 7.6, 5.3, 2.0)
    return c


def toolbar_help():
    c = Canvas(16, 16)
    draw_life_buoy(c, 8, 8, 7.6, 3.4)
    return c


def picture_folder(opened):
    c = Canvas(16, 16)
    draw_folder(c, 0, 1, 16, 15, opened)
    return c


def picture_archive(opened):
    c = Canvas(16, 16)
    draw_folder(c, 0, 0, 14, 12, opened)
    draw_parcel(c, 5, 6, 16, 16)
    return c


def picture_page():
    c = Canvas(16, 16)
    draw_page(c, 2, 0, 14, 16)
    return c


def picture_search_icon():
    c = Canvas(16, 16)
    draw_disc(c, 6, 6, 6.0)
    draw_binoculars(c, 5, 5, 5, 1, 11)
    return c


def picture_app(size):
    """The application icon: discs filed in a catalogue card box."""
    c = Canvas(size, size)
    u = size / 16.0
    if size <= 16:
        draw_disc(c, 8, 7, 6.4)
        draw_card_box(c, 0, 9, 16, 16, u)
        return c
    r = 5.6 * u
    draw_disc(c, 5.4 * u, 6.6 * u, r * 0.92)
    draw_disc(c, 10.6 * u, 5.8 * u, r)
    draw_card_box(c, 0.5, 8.4 * u, size - 0.5, size - 0.5, u)
    return c


def toolbar_strip():
    images = [toolbar_new(), toolbar_update(), toolbar_delete(), toolbar_search(),
              toolbar_configure(), toolbar_help()]
    strip = Canvas(16 * len(images), 16)
    for i, image in enumerate(images):
        strip.blit(image, 16 * i, 0)
    return strip


# ---------------------------------------------------------------------------------------
# File formats.


def hard_pixels(c):
    """Pixels with a hard silhouette: opaque colour where alpha >= 1/2, else None."""
    out = []
    for y in range(c.height):
        for x in range(c.width):
            r, g, b, a = c.rgba(x, y)
            out.append((r, g, b) if a >= 128 else None)
    return out


def median_cut(colours, count):
    """Reduces a list of distinct colours to at most `count` representative colours."""
    boxes = [list(colours)]
    while len(boxes) < count:
        boxes.sort(key=lambda b: max(max(c[k] for c in b) - min(c[k] for c in b) for k in range(3)))
        widest = boxes.pop()
        if len(widest) < 2:
            boxes.append(widest)
            break
        spans = [max(c[k] for c in widest) - min(c[k] for c in widest) for k in range(3)]
        k = spans.index(max(spans))
        widest.sort(key=lambda c: c[k])
        half = len(widest) // 2
        boxes += [widest[:half], widest[half:]]
    return [tuple(round(sum(c[k] for c in b) / len(b)) for k in range(3)) for b in boxes if b]


def palette_for(pixels):
    """Index 0 is the magenta key; the drawing's colours follow (at most 255)."""
    colours = sorted(set(p for p in pixels if p is not None))
    if len(colours) > 255:
        colours = median_cut(colours, 255)
    # Never let a drawn colour become the transparent key.
    colours = [(254, 0, 254) if c == MAGENTA else c for c in colours]
    return [MAGENTA] + colours


def nearest(palette, colour, cache):
    if colour not in cache:
        cache[colour] = min(range(1, len(palette)),
                            key=lambda i: sum((palette[i][k] - colour[k]) ** 2 for k in range(3)))
    return cache[colour]


def bmp_bytes(c):
    """An 8-bit BI_RGB Windows bitmap file with a 256-entry palette; magenta is index 0."""
    pixels = hard_pixels(c)
    palette = palette_for(pixels)
    cache = {}
    row_size = (c.width + 3) & ~3
    rows = bytearray()
    for y in reversed(range(c.height)):
        row = bytearray(row_size)
        for x in range(c.width):
            p = pixels[y * c.width + x]
            row[x] = 0 if p is None else nearest(palette, p, cache)
        rows += row
    table = bytearray()
    for i in range(256):
        r, g, b = palette[i] if i < len(palette) else (0, 0, 0)
        table += bytes((b, g, r, 0))
    info = struct.pack("<IiiHHIIiiII", 40, c.width, c.height, 1, 8, 0, len(rows), 2835, 2835,
                       256, 0)
    offset = 14 + len(info) + len(table)
    header = struct.pack("<2sIHHI", b"BM", offset + len(rows), 0, 0, offset)
    return bytes(header + info + table + rows)


def harden(c):
    """The same picture with a hard silhouette (alpha 0 or 1), as the bitmaps have."""
    out = Canvas(c.width, c.height)
    for y in range(c.height):
        for x in range(c.width):
            r, g, b, a = c.rgba(x, y)
            if a >= 128:
                out.px[y * c.width + x] = [r / 255, g / 255, b / 255, 1.0]
    return out


def icon_image_bytes(c):
    """One icon image: BITMAPINFOHEADER (double height), 32-bit BGRA rows, 1-bit AND mask."""
    xor = bytearray()
    mask = bytearray()
    mask_row = ((c.width + 31) // 32) * 4
    for y in reversed(range(c.height)):
        bits = bytearray(mask_row)
        for x in range(c.width):
            r, g, b, a = c.rgba(x, y)
            xor += bytes((b, g, r, a))
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    info = struct.pack("<IiiHHIIiiII", 40, c.width, c.height * 2, 1, 32, 0, len(xor) + len(mask), 0,
                       0, 0, 0)
    return bytes(info + xor + mask)


def ico_bytes(canvases):
    # Small sizes keep the crisp silhouette of the bitmaps; larger ones keep soft edges.
    canvases = [harden(c) if c.width <= 16 else c for c in canvases]
    images = [icon_image_bytes(c) for c in canvases]
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for c, data in zip(canvases, images):
        out += struct.pack("<BBBBHHII", c.width % 256, c.height % 256, 0, 0, 1, 32, len(data),
                           offset)
        offset += len(data)
    for data in images:
        out += data
    return bytes(out)


# ---------------------------------------------------------------------------------------
# Previews: the written files are decoded back and drawn magnified into PNG sheets.


def read_bmp(data):
    """Decodes the 8-bit BMP written above into rows of (r, g, b, a)."""
    offset = struct.unpack_from("<I", data, 10)[0]
    width, height = struct.unpack_from("<ii", data, 18)
    bits = struct.unpack_from("<H", data, 28)[0]
    assert bits == 8
    palette = [(data[54 + 4 * i + 2], data[54 + 4 * i + 1], data[54 + 4 * i]) for i in range(256)]
    row_size = (width + 3) & ~3
    rows = []
    for y in range(height):
        src = offset + (height - 1 - y) * row_size
        row = []
        for x in range(width):
            r, g, b = palette[data[src + x]]
            row.append((r, g, b, 0) if (r, g, b) == MAGENTA else (r, g, b, 255))
        rows.append(row)
    return rows


def read_ico(data):
    """Decodes every image of an ICO written above: a list of rows of (r, g, b, a)."""
    count = struct.unpack_from("<H", data, 4)[0]
    images = []
    for i in range(count):
        _, _, _, _, _, _, size, offset = struct.unpack_from("<BBBBHHII", data, 6 + 16 * i)
        width, height2 = struct.unpack_from("<ii", data, offset + 4)
        height = height2 // 2
        pixels = offset + 40
        rows = []
        for y in range(height):
            src = pixels + (height - 1 - y) * width * 4
            rows.append([(data[src + 4 * x + 2], data[src + 4 * x + 1], data[src + 4 * x],
                          data[src + 4 * x + 3]) for x in range(width)])
        images.append(rows)
    return images


def png_bytes(rows, alpha=False):
    """A PNG file of rows of (r, g, b) tuples, or of (r, g, b, a) tuples when `alpha`."""
    height, width = len(rows), len(rows[0])
    raw = bytearray()
    for row in rows:
        raw.append(0)
        for pixel in row:
            raw += bytes(pixel)

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))

    colour_type = 6 if alpha else 2
    return (b"\x89PNG\r\n\x1a\n"
            + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, colour_type, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))


def png_pixels(data):
    """The header and unpacked pixel bytes of a PNG written by png_bytes (filter 0 rows), or
    None for anything else. Two files with equal results show the same picture."""
    if not data.startswith(b"\x89PNG\r\n\x1a\n"):
        return None
    pos, header, idat = 8, None, b""
    while pos + 8 <= len(data):
        length, kind = struct.unpack_from(">I4s", data, pos)
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            header = body
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    try:
        return header, zlib.decompress(idat)
    except zlib.error:
        return None


def canvas_rows(c):
    return [[c.rgba(x, y) for x in range(c.width)] for y in range(c.height)]


def sheet(items, scale, background):
    """Lays images out left to right, each magnified by `scale`, over `background`."""
    gap = 8
    width = sum(len(rows[0]) * scale + gap for rows in items) + gap
    height = max(len(rows) for rows in items) * scale + 2 * gap
    canvas = [[background] * width for _ in range(height)]
    x0 = gap
    for rows in items:
        for y, row in enumerate(rows):
            for x, (r, g, b, a) in enumerate(row):
                colour = tuple(round(background[k] + (c - background[k]) * a / 255)
                               for k, c in enumerate((r, g, b)))
                for dy in range(scale):
                    line = canvas[gap + y * scale + dy]
                    for dx in range(scale):
                        line[x0 + x * scale + dx] = colour
        x0 += len(rows[0]) * scale + gap
    return canvas


def stack(*sheets):
    width = max(len(s[0]) for s in sheets)
    out = []
    for s in sheets:
        for row in s:
            out.append(row + [(255, 255, 255)] * (width - len(row)))
    return out


# ---------------------------------------------------------------------------------------


BITMAPS = {
    "disc.bmp": picture_disc,
    "toolbar.bmp": toolbar_strip,
    "folder_selected.bmp": lambda: picture_folder(True),
    "folder.bmp": lambda: picture_folder(False),
    "archive_selected.bmp": lambda: picture_archive(True),
    "archive.bmp": lambda: picture_archive(False),
}

ICONS = {
    "app.ico": lambda: [picture_app(s) for s in (16, 24, 32, 48, 64)],
    "search.ico": lambda: [picture_search_icon()],
    "folder.ico": lambda: [picture_folder(False)],
    "file.ico": lambda: [picture_page()],
    "archive.ico": lambda: [picture_archive(False)],
}

# The sizes of the application icon in the desktop's hicolor icon theme.
THEME_SIZES = (16, 22, 24, 32, 48, 64, 128, 256)


def theme_icon(size):
    """The application icon at one theme size, as app.ico draws it: the small sizes with the
    bitmaps' hard silhouette, the larger ones with soft edges."""
    c = picture_app(size)
    return harden(c) if size <= 16 else c


def theme_files():
    """Relative path -> PNG bytes of every theme icon."""
    return {os.path.join("hicolor", f"{s}x{s}", "apps", "tavisk.png"):
            png_bytes(canvas_rows(theme_icon(s)), alpha=True) for s in THEME_SIZES}


def same_file(path, data):
    """Whether the file at `path` holds `data` (PNG files: the same pixels)."""
    try:
        with open(path, "rb") as f:
            existing = f.read()
    except OSError:
        return False
    if path.endswith(".png"):
        return png_pixels(existing) is not None and png_pixels(existing) == png_pixels(data)
    return existing == data


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description="Writes Tavisk's bitmaps and icons.")
    parser.add_argument("--out", default=here)
    parser.add_argument("--icons", default=os.path.join(here, "..", "..", "desktop", "icons"))
    parser.add_argument("--preview")
    parser.add_argument("--check", action="store_true")
    args = parser.parse_args()
    files = {}  # path -> bytes
    written = {}
    for name, make in BITMAPS.items():
        data = bmp_bytes(make())
        files[os.path.join(args.out, name)] = data
        written[name] = [read_bmp(data)]
    for name, make in ICONS.items():
        data = ico_bytes(make())
        files[os.path.join(args.out, name)] = data
        written[name] = read_ico(data)
    for name, data in theme_files().items():
        files[os.path.join(args.icons, name)] = data
    if args.check:
        stale = [path for path, data in files.items() if not same_file(path, data)]
        for path in stale:
            print(f"make_art.py: {path} is not what the script draws", flush=True)
        raise SystemExit(1 if stale else 0)
    for path, data in files.items():
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
    if args.preview:
        os.makedirs(args.preview, exist_ok=True)
        small = [written[n][0] for n in BITMAPS] + [written[n][0] for n in ICONS if n != "app.ico"]
        grey, dark = (212, 208, 200), (64, 68, 80)
        with open(os.path.join(args.preview, "pictures.png"), "wb") as f:
            f.write(png_bytes(stack(sheet(small, 8, grey), sheet(small, 8, dark),
                                    sheet(small, 1, grey))))
        app = written["app.ico"]
        with open(os.path.join(args.preview, "app.png"), "wb") as f:
            f.write(png_bytes(stack(sheet(app, 6, grey), sheet(app, 1, grey), sheet(app, 1, dark))))


if __name__ == "__main__":
    main()
