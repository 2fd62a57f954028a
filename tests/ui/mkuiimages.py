#!/usr/bin/env python3
"""Writes the UI tests' images: strips of solid frames whose colours the tests look for.

mkuiimages.py OUT_DIR  ->  OUT_DIR/<id>.png and OUT_DIR/uiimages.rc (resources of type PNG).
"""
import os
import sys

from PIL import Image

# Frame colours (RGBA) per image; the tests keep the same tables in uitest.h.
STRIP4 = [(200, 30, 30, 255), (30, 200, 30, 255), (30, 30, 200, 255), (128, 128, 128, 255)]
STRIP6 = [(250, 0, 0, 255), (0, 250, 0, 255), (0, 0, 250, 255),
          (250, 250, 0, 255), (0, 250, 250, 255), (250, 0, 250, 255)]
SLIDES = [(255, 0, 0, 255), (0, 255, 0, 255), (0, 0, 255, 255)]
TEXTBOX = [(240, 240, 240, 255), (200, 220, 250, 255), (225, 225, 215, 255)]


def strip(frames, width, height):
    image = Image.new("RGBA", (width * len(frames), height))
    for i, colour in enumerate(frames):
        image.paste(colour, (i * width, 0, (i + 1) * width, height))
    return image


def progress_front(width, height, caps):
    image = Image.new("RGBA", (width, height), (40, 160, 40, 255))
    image.paste((200, 200, 0, 255), (0, 0, caps, height))
    image.paste((0, 200, 200, 255), (width - caps, 0, width, height))
    return image


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    images = {
        9001: strip(STRIP4, 20, 20),                        # button 20x20
        9002: strip(STRIP6, 16, 16),                        # check box 16x16
        9003: Image.new("RGBA", (100, 50), (32, 48, 64, 255)),  # container background
        9004: Image.new("RGBA", (100, 10), (10, 10, 10, 255)),  # progress background
        9005: progress_front(100, 10, 5),                   # progress front, caps of 5
        9006: strip(SLIDES, 40, 20),                        # carousel, 3 slides of 40x20
        9007: Image.new("RGBA", (10, 10), (90, 60, 30, 255)),   # picture, scaled up
        9009: strip(TEXTBOX, 200, 32),                      # text box 200x32: normal, hot, disabled
    }
    lines = []
    for number, image in sorted(images.items()):
        path = os.path.join(out, "%d.png" % number)
        image.save(path)
        lines.append('%d PNG "%d.png"' % (number, number))
    with open(os.path.join(out, "notanimage.bin"), "wb") as f:
        f.write(b"these bytes are no image")
    lines.append('9008 PNG "notanimage.bin"')
    with open(os.path.join(out, "uiimages.rc"), "w") as f:
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
