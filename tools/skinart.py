"""Drawing helpers for the skin generator: shapes drawn at four times the size and boxed down, text
drawn after them (plain text at the final size, emboldened text at 4x), the palette of the skin.

Coordinates are always in final pixels (floats allowed); a shape's anti-aliasing comes from the 4x
canvas. Every operation composites a layer over what is there, so later drawing lies on top.
"""
from PIL import Image, ImageChops, ImageDraw, ImageFilter, ImageFont

SCALE = 4
CJK_FONT = "/usr/share/fonts/truetype/wqy/wqy-microhei.ttc"
LATIN_BOLD = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf"

# The house palette: one accent (a calm blue) and soft neutrals.
ACCENT = (34, 132, 226)
ACCENT_LIGHT = (78, 160, 240)
ACCENT_DARK = (22, 102, 190)
ACCENT_TINT = (232, 242, 253)
ACCENT_MUTED = (168, 199, 232)
WHITE = (255, 255, 255)
PAGE = (247, 249, 252)
LINE = (222, 227, 234)
BORDER = (196, 203, 212)
INK = (51, 51, 51)
INK_SOFT = (102, 108, 118)
DISABLED = (236, 238, 241)
DISABLED_INK = (184, 189, 196)


def rgba(colour, alpha=255):
    return tuple(colour[:3]) + (alpha,)


def mix(a, b, t):
    """Colour between a (t = 0) and b (t = 1)."""
    return tuple(round(x + (y - x) * t) for x, y in zip(a, b))


def font(size, latin=False):
    if latin:
        return ImageFont.truetype(LATIN_BOLD, size)
    return ImageFont.truetype(CJK_FONT, size, index=0)


class Art:
    """One image: a 4x canvas for shapes, then the text on the final image."""

    def __init__(self, width, height, fill=(0, 0, 0, 0)):
        self.width, self.height = width, height
        self.big = Image.new("RGBA", (width * SCALE, height * SCALE), fill)
        self.texts = []
        self.clip = None

    # -- shapes on the 4x canvas -------------------------------------------------------------------------
    def _compose(self, draw, blur=0, alpha=255):
        """Draws onto a fresh layer and composites it; `alpha` fades the whole layer (strokes that cross)."""
        layer = Image.new("RGBA", self.big.size, (0, 0, 0, 0))
        draw(ImageDraw.Draw(layer))
        if blur:
            layer = layer.filter(ImageFilter.GaussianBlur(blur * SCALE))
        if alpha < 255:
            layer.putalpha(layer.getchannel("A").point(lambda v: v * alpha // 255))
        self.big.alpha_composite(layer)

    @staticmethod
    def _box(box):
        """A box in final pixels as the inclusive 4x box the drawing calls take."""
        left, top, right, bottom = (round(v * SCALE) for v in box)
        return [left, top, right - 1, bottom - 1]

    @staticmethod
    def _points(points):
        return [(round(x * SCALE), round(y * SCALE)) for x, y in points]

    def rect(self, box, fill, radius=0, outline=None, width=1, blur=0, corners=None):
        """A rectangle with rounded corners (`corners`: top-left, top-right, bottom-right, bottom-left; a
        False one stays square), filled and/or with an outline `width` pixels wide inside the box."""
        outer = self._box(box)
        r = round(radius * SCALE)
        w = round(width * SCALE) if outline else 0

        def draw(d):
            if fill:
                _rounded(d, outer, r, fill, corners)
            if outline:
                ring = Image.new("L", self.big.size, 0)
                ring_draw = ImageDraw.Draw(ring)
                _rounded(ring_draw, outer, r, 255, corners)
                inner = [outer[0] + w, outer[1] + w, outer[2] - w, outer[3] - w]
                _rounded(ring_draw, inner, max(0, r - w), 0, corners)
                d.bitmap((0, 0), ring, fill=outline)
        self._compose(draw, blur)

    def ellipse(self, box, fill=None, outline=None, width=1, blur=0):
        w = round(width * SCALE) if outline else 0
        self._compose(lambda d: d.ellipse(self._box(box), fill=fill, outline=outline, width=w), blur)

    def polygon(self, points, fill):
        self._compose(lambda d: d.polygon(self._points(points), fill=fill))

    def line(self, points, fill, width):
        self.lines([points], fill, width)

    def lines(self, polylines, fill, width):
        """Strokes with round joints and ends, drawn in one layer so crossings do not add up."""
        ink = rgba(fill[:3])
        radius = width * SCALE / 2

        def draw(d):
            for points in polylines:
                scaled = self._points(points)
                d.line(scaled, fill=ink, width=round(width * SCALE), joint="curve")
                for x, y in (scaled[0], scaled[-1]):
                    d.ellipse((x - radius, y - radius, x + radius, y + radius), fill=ink)
        self._compose(draw, alpha=fill[3] if len(fill) > 3 else 255)

    def gradient(self, box, top, bottom, radius=0, corners=None):
        """A vertical gradient filling a (rounded) rectangle."""
        left, upper, right, lower = (round(v * SCALE) for v in box)
        height = max(1, lower - upper)
        column = Image.new("RGBA", (1, height))
        column.putdata([rgba(mix(top, bottom, y / max(1, height - 1)), top[3] if len(top) > 3 else 255)
                        for y in range(height)])
        fill = column.resize((right - left, height), Image.NEAREST)
        mask = Image.new("L", fill.size, 0)
        _rounded(ImageDraw.Draw(mask), (0, 0, fill.size[0] - 1, height - 1), round(radius * SCALE), 255, corners)
        fill.putalpha(ImageChops.multiply(fill.getchannel("A"), mask))
        layer = Image.new("RGBA", self.big.size, (0, 0, 0, 0))
        layer.paste(fill, (left, upper))
        self.big.alpha_composite(layer)

    def mask_rounded(self, radius, edge=None):
        """Makes the outside of the image's rounded outline transparent; `edge` draws a fine rim inside it."""
        full = (0, 0, self.width, self.height)
        if edge:
            self.rect(full, None, radius, outline=edge, width=1)
        mask = Image.new("L", self.big.size, 0)
        ImageDraw.Draw(mask).rounded_rectangle(self._box(full), round(radius * SCALE), fill=255)
        self.clip = mask

    # -- text at the final size ----------------------------------------------------------------------------
    def text(self, xy, text, size, fill, anchor="la", latin=False, bold=False):
        self.texts.append((xy, text, size, fill, anchor, latin, bold))

    def _draw_texts(self, image):
        for xy, text, size, fill, anchor, latin, bold in self.texts:
            ink = rgba(fill) if len(fill) == 3 else fill
            if bold:
                layer = _bold_text(image.size, xy, text, size, ink, anchor, latin)
            else:
                layer = Image.new("RGBA", image.size, (0, 0, 0, 0))
                ImageDraw.Draw(layer).text(xy, text, font=font(size, latin), fill=ink, anchor=anchor)
            image.alpha_composite(layer)

    def finish(self):
        big = self.big
        if self.clip is not None:
            alpha = ImageChops.multiply(big.getchannel("A"), self.clip)
            big = big.copy()
            big.putalpha(alpha)
        # Premultiplied while boxing down, so transparent pixels lend no colour to the edges.
        small = big.convert("RGBa").resize((self.width, self.height), Image.BOX).convert("RGBA")
        self._draw_texts(small)
        return small


def _bold_text(size, xy, text, points, ink, anchor, latin):
    """Text emboldened by a thin outline, drawn at 4x and boxed down (an outline of whole pixels at the
    final size would smear small characters)."""
    big = Image.new("RGBa", (size[0] * SCALE, size[1] * SCALE), (0, 0, 0, 0))
    opaque = ink[:3] + (255,)
    weight = 3 if points >= 20 else 2
    ImageDraw.Draw(big).text((xy[0] * SCALE, xy[1] * SCALE), text, font=font(points * SCALE, latin), fill=opaque,
                             anchor=anchor, stroke_width=weight, stroke_fill=opaque)
    layer = big.resize(size, Image.BOX).convert("RGBA")
    if ink[3] < 255:
        layer.putalpha(layer.getchannel("A").point(lambda v: v * ink[3] // 255))
    return layer


def _rounded(draw, box, radius, fill, corners=None):
    """rounded_rectangle with some corners left square."""
    draw.rounded_rectangle(box, radius, fill=fill)
    if not corners or radius <= 0:
        return
    left, top, right, bottom = box
    squares = [(left, top, left + radius, top + radius), (right - radius, top, right, top + radius),
               (right - radius, bottom - radius, right, bottom), (left, bottom - radius, left + radius, bottom)]
    for rounded, square in zip(corners, squares):
        if not rounded:
            draw.rectangle(square, fill=fill)


def strip(frames):
    """Frames of equal size side by side."""
    width, height = frames[0].size
    out = Image.new("RGBA", (width * len(frames), height), (0, 0, 0, 0))
    for i, frame in enumerate(frames):
        out.paste(frame, (i * width, 0))
    return out
