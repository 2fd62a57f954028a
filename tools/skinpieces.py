"""Pieces the skin's images share: the window shape, the brand mark and the small illustrations."""
import math

from skinart import (ACCENT, ACCENT_DARK, ACCENT_LIGHT, ACCENT_MUTED, ACCENT_TINT, Art, BORDER, LINE, PAGE,
                     WHITE, font, mix, rgba)

WINDOW_RADIUS = 10
RIM = (0, 0, 0, 34)


def window(width, height, header=0, page=PAGE):
    """A dialog background: a light page with an accent header band of `header` rows."""
    art = Art(width, height, rgba(page))
    if header:
        art.gradient((0, 0, width, header), ACCENT_LIGHT, ACCENT)
        band_glow(art, width)
        art.rect((0, header, width, height), rgba(page))  # the glow stays inside the band
    return art


def band_glow(art, width):
    """Soft light circles on the right of an accent band."""
    art.ellipse((width - 190, -120, width + 60, 120), fill=rgba(WHITE, 22))
    art.ellipse((width - 120, 30, width + 20, 170), fill=rgba(WHITE, 16))


def finish_window(art):
    art.mask_rounded(WINDOW_RADIUS, edge=RIM)
    return art.finish()


def logo(art, x, y, size, on_light=False):
    """The brand mark: a tile holding four tidy smaller tiles (white on accent bands, accent on light)."""
    if on_light:
        art.gradient((x, y, x + size, y + size), ACCENT_LIGHT, ACCENT, radius=size * 0.26)
        colours = [rgba(WHITE), rgba(WHITE, 200), rgba(WHITE, 200), rgba(WHITE)]
    else:
        art.rect((x, y, x + size, y + size), rgba(WHITE), radius=size * 0.26)
        colours = [rgba(c) for c in (ACCENT_LIGHT, ACCENT, ACCENT, ACCENT_DARK)]
    pad, gap = size * 0.2, size * 0.08
    cell = (size - 2 * pad - gap) / 2
    for i, colour in enumerate(colours):
        cx = x + pad + (i % 2) * (cell + gap)
        cy = y + pad + (i // 2) * (cell + gap)
        art.rect((cx, cy, cx + cell, cy + cell), colour, radius=cell * 0.28)


def brand(art, x, y, size=34, colour=WHITE, on_light=False):
    """Logo and the product's word mark, `y` is the logo's top; returns where the word mark ends."""
    logo(art, x, y, size, on_light)
    text_size = round(size * 0.7)
    left = x + size + round(size * 0.3)
    art.text((left, y + size / 2), "Quellby", text_size, colour, anchor="lm", latin=True)
    return left + font(text_size, latin=True).getlength("Quellby")


def tile(art, cx, cy, size, colour, angle=0.0):
    """A small icon tile, optionally turned by `angle` degrees."""
    if not angle:
        half = size / 2
        art.rect((cx - half, cy - half, cx + half, cy + half), rgba(colour), radius=size * 0.24)
        return
    a = math.radians(angle)
    corners = []
    for dx, dy in ((-1, -1), (1, -1), (1, 1), (-1, 1)):
        x, y = dx * size / 2, dy * size / 2
        corners.append((cx + x * math.cos(a) - y * math.sin(a), cy + x * math.sin(a) + y * math.cos(a)))
    art.polygon(corners, rgba(colour))


def shadow(art, box, radius, strength=28, blur=6, drop=4):
    left, top, right, bottom = box
    art.rect((left + 2, top + drop, right - 2, bottom + drop), (40, 70, 110, strength), radius=radius, blur=blur)


def fence(art, box, tiles, title_colour=ACCENT):
    """A desktop fence: a translucent panel with a title bar holding a grid of tiles."""
    left, top, right, bottom = box
    art.rect(box, rgba(WHITE, 235), radius=6, outline=rgba(LINE), width=1)
    art.rect((left, top, right, top + 9), rgba(title_colour), radius=6, corners=(True, True, False, False))
    size = 12
    cols = max(1, int((right - left - 8) // (size + 6)))
    rows = max(1, int((bottom - top - 14) // (size + 8)))
    for i, colour in enumerate(tiles[:cols * rows]):
        cx = left + 6 + size / 2 + (i % cols) * (size + 6)
        cy = top + 17 + size / 2 + (i // cols) * (size + 8)
        tile(art, cx, cy, size, colour)
        art.rect((cx - 6, cy + 8, cx + 6, cy + 10), rgba(BORDER), radius=1)


def monitor(art, box):
    """A screen on a stand; returns the screen's inner box."""
    left, top, right, bottom = box
    stand_top = bottom - 22
    cx = (left + right) / 2
    shadow(art, (left, top, right, stand_top), 10)
    art.polygon([(cx - 14, stand_top), (cx + 14, stand_top), (cx + 20, bottom - 5), (cx - 20, bottom - 5)],
                rgba(mix(BORDER, WHITE, 0.2)))
    art.rect((cx - 34, bottom - 6, cx + 34, bottom), rgba(BORDER), radius=3)
    art.rect((left, top, right, stand_top), rgba((56, 66, 82)), radius=9)
    inner = (left + 6, top + 6, right - 6, stand_top - 6)
    art.gradient(inner, ACCENT_TINT, mix(ACCENT_TINT, ACCENT_MUTED, 0.55), radius=4)
    return inner


def organised_screen(art, box):
    """A monitor whose desktop is sorted into fences."""
    left, top, right, bottom = monitor(art, box)
    width = right - left
    third = (width - 16) / 3
    fence(art, (left + 4, top + 5, left + 4 + third, bottom - 5),
          [ACCENT, ACCENT_LIGHT, ACCENT_MUTED, ACCENT_DARK, ACCENT, ACCENT_MUTED, ACCENT_LIGHT, ACCENT_DARK,
           ACCENT_MUTED, ACCENT, ACCENT_LIGHT])
    fence(art, (left + 8 + third, top + 5, left + 8 + 2 * third, top + 5 + (bottom - top) * 0.55),
          [ACCENT_LIGHT, ACCENT_DARK, ACCENT], title_colour=ACCENT_LIGHT)
    fence(art, (left + 12 + 2 * third, top + 5, right - 4, bottom - 5),
          [ACCENT_MUTED, ACCENT, ACCENT_LIGHT, ACCENT_DARK, ACCENT_LIGHT, ACCENT_MUTED, ACCENT], title_colour=ACCENT_DARK)


def search_glyph(art, cx, cy, size, colour, width):
    r = size * 0.32
    art.ellipse((cx - r - size * 0.1, cy - r - size * 0.1, cx + r - size * 0.1, cy + r - size * 0.1),
                outline=rgba(colour), width=width)
    art.line([(cx + size * 0.14, cy + size * 0.14), (cx + size * 0.38, cy + size * 0.38)], rgba(colour), width)


def tick(art, cx, cy, size, colour, width):
    """A check mark centred on (cx, cy)."""
    s = size / 2
    art.line([(cx - s * 0.62, cy + s * 0.02), (cx - s * 0.16, cy + s * 0.46), (cx + s * 0.66, cy - s * 0.42)],
             rgba(colour), width)


def folder_glyph(art, cx, cy, colour):
    """A closed folder about 16 by 12 pixels."""
    art.rect((cx - 8, cy - 6, cx - 1, cy - 2), rgba(colour), radius=1.5)
    art.rect((cx - 8, cy - 4, cx + 8, cy + 6), rgba(colour), radius=2)
    art.rect((cx - 6.5, cy - 1.5, cx + 6.5, cy - 0.5), rgba(WHITE, 150), radius=0.5)
