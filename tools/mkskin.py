#!/usr/bin/python3
"""Draws the setup's skin: every PNG the shipped layout names, written as skin/NNN.png.

mkskin.py [OUT_DIR]   (default: orvsetup/resources/skin beside this tool)

Everything is drawn here from shapes and two installed fonts; the same Pillow gives the same bytes on
every run. To restyle, change the palette in skinart.py or a drawing below and run the script again.
"""
import os
import sys

from PIL import Image

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from skinart import (ACCENT, ACCENT_DARK, ACCENT_LIGHT, ACCENT_MUTED, ACCENT_TINT, Art, BORDER,  # noqa: E402
                     DISABLED, DISABLED_INK, INK_SOFT, WHITE, mix, rgba, strip)
import skindialogs  # noqa: E402
from skinpieces import folder_glyph, tick  # noqa: E402

NORMAL, HOT, PRESSED, DISABLED_STATE = range(4)


def close_button(state):
    """20x20 frame of the white close cross for accent header bands."""
    art = Art(20, 20)
    if state == HOT:
        art.ellipse((0, 0, 20, 20), fill=rgba(WHITE, 52))
    elif state == PRESSED:
        art.ellipse((0, 0, 20, 20), fill=rgba(ACCENT_DARK, 170))
    alpha = 110 if state == DISABLED_STATE else 240
    art.lines([[(6.2, 6.2), (13.8, 13.8)], [(13.8, 6.2), (6.2, 13.8)]], rgba(WHITE, alpha), 1.6)
    return art.finish()


def check_box(checked, state):
    """16x16 frame: unticked box with a grey rim, ticked box filled with the accent."""
    art = Art(16, 16)
    box = (0, 0, 16, 16)
    if not checked:
        fill = {NORMAL: WHITE, HOT: ACCENT_TINT, DISABLED_STATE: DISABLED}[state]
        rim = {NORMAL: BORDER, HOT: ACCENT, DISABLED_STATE: mix(BORDER, WHITE, 0.45)}[state]
        art.rect(box, rgba(fill), radius=3.5, outline=rgba(rim), width=1.25 if state == HOT else 1)
        return art.finish()
    fill = {NORMAL: ACCENT, HOT: ACCENT_LIGHT, DISABLED_STATE: ACCENT_MUTED}[state]
    art.rect(box, rgba(fill), radius=3.5)
    tick(art, 8, 8.3, 12, WHITE, 1.9)
    return art.finish()


def pill_button(width, height, label, size, state):
    """A filled accent pill with a white caption and a soft shadow below it."""
    art = Art(width, height)
    shift = 1 if state == PRESSED else 0
    box = (1, 1 + shift, width - 1, height - 3 + shift)
    radius = (box[3] - box[1]) / 2
    if state != DISABLED_STATE:
        art.rect((8, 6, width - 8, height - 1), rgba(ACCENT_DARK, 60 if state == PRESSED else 95), radius=radius,
                 blur=1.6)
    top, bottom = {NORMAL: (ACCENT_LIGHT, ACCENT), HOT: (mix(ACCENT_LIGHT, WHITE, 0.1), ACCENT_LIGHT),
                   PRESSED: (ACCENT, ACCENT_DARK), DISABLED_STATE: ((212, 216, 222), (200, 205, 212))}[state]
    art.gradient(box, top, bottom, radius=radius)
    art.text((width / 2, (box[1] + box[3]) / 2), label, size, WHITE if state != DISABLED_STATE else (246, 247, 249),
             anchor="mm", bold=True)
    return art.finish()


def outline_button(width, height, label, size, state):
    """A white pill with a grey rim that takes the accent when hot."""
    art = Art(width, height)
    shift = 1 if state == PRESSED else 0
    box = (1, 1 + shift, width - 1, height - 3 + shift)
    radius = (box[3] - box[1]) / 2
    fill, rim, ink = {NORMAL: (WHITE, BORDER, INK_SOFT), HOT: (WHITE, ACCENT, ACCENT),
                      PRESSED: (ACCENT_TINT, ACCENT, ACCENT_DARK),
                      DISABLED_STATE: (DISABLED, mix(BORDER, WHITE, 0.4), DISABLED_INK)}[state]
    art.rect(box, rgba(fill), radius=radius, outline=rgba(rim), width=1)
    art.text((width / 2, (box[1] + box[3]) / 2), label, size, ink, anchor="mm")
    return art.finish()


def button_strip(draw, *args):
    return strip([draw(*args, state) for state in (NORMAL, HOT, PRESSED, DISABLED_STATE)])


def text_box(state):
    """265x32 frame of the folder box: white, square on the right where the folder button joins it."""
    art = Art(265, 32)
    fill, rim = {NORMAL: (WHITE, BORDER), HOT: (WHITE, ACCENT), DISABLED_STATE: (DISABLED, mix(BORDER, WHITE, 0.4))}[state]
    art.rect((0, 0, 265, 32), rgba(fill), radius=5, outline=rgba(rim), width=1, corners=(True, False, False, True))
    if state == HOT:
        art.rect((1, 1, 264, 31), None, radius=4, outline=rgba(ACCENT, 60), width=1, corners=(True, False, False, True))
    return art.finish()


def text_box_strip():
    # The strip holds two whole frames (normal, hot or focused) and the first two columns of the disabled
    # one; the shipped dialogs never disable the folder box.
    frames = strip([text_box(NORMAL), text_box(HOT), text_box(DISABLED_STATE)])
    return frames.crop((0, 0, 532, 32))


def folder_button(state):
    """37x32 frame: the folder box's right end with a folder glyph; no left rim (the box draws it)."""
    art = Art(37, 32)
    fill, rim, ink = {NORMAL: ((246, 248, 251), BORDER, ACCENT), HOT: (ACCENT_TINT, ACCENT, ACCENT),
                      PRESSED: (mix(ACCENT_TINT, ACCENT_MUTED, 0.45), ACCENT, ACCENT_DARK),
                      DISABLED_STATE: (DISABLED, mix(BORDER, WHITE, 0.4), DISABLED_INK)}[state]
    art.rect((-6, 0, 37, 32), rgba(fill), radius=5, outline=rgba(rim), width=1)
    folder_glyph(art, 18.5, 16.5 + (0.5 if state == PRESSED else 0), ink)
    return art.finish()


def progress_track():
    """560x15: a grey groove (rows 3 to 13) the bar runs in."""
    art = Art(560, 15)
    art.rect((0, 3, 560, 13), rgba((226, 231, 238)), radius=5)
    art.rect((0, 3, 560, 13), None, radius=5, outline=rgba((212, 218, 226)), width=1)
    return art.finish()


def progress_front():
    """560x15 bar. The bar is drawn 20 rows high and stretched across at run time, so it is designed at
    560x20 (rows 5 to 11, inside the groove) and squeezed to 15 rows; it is even along its length, so any
    horizontal stretch looks the same."""
    art = Art(560, 20)
    art.gradient((2, 5, 558, 11), mix(ACCENT_LIGHT, WHITE, 0.1), ACCENT, radius=3)
    tall = art.finish()
    return tall.convert("RGBa").resize((560, 15), resample=Image.BOX).convert("RGBA")


def link_icon_web():
    """20x20 globe."""
    art = Art(20, 20)
    art.ellipse((2, 2, 18, 18), outline=rgba(ACCENT), width=1.6)
    art.ellipse((6.6, 2, 13.4, 18), outline=rgba(ACCENT), width=1.4)
    art.lines([[(2.8, 10), (17.2, 10)]], rgba(ACCENT), 1.4)
    return art.finish()


def link_icon_video():
    """20x20 play badge."""
    art = Art(20, 20)
    art.rect((1, 3, 19, 17), rgba(ACCENT), radius=4)
    art.polygon([(8, 6.8), (13.6, 10), (8, 13.2)], rgba(WHITE))
    return art.finish()


def images():
    """Every image by resource number."""
    return {
        301: skindialogs.options_background(),
        302: button_strip(close_button),
        303: strip([check_box(False, NORMAL), check_box(False, DISABLED_STATE), check_box(False, HOT),
                    check_box(True, NORMAL), check_box(True, DISABLED_STATE), check_box(True, HOT)]),
        304: text_box_strip(),
        305: strip([folder_button(s) for s in (NORMAL, HOT, PRESSED, DISABLED_STATE)]),
        307: skindialogs.progress_background(),
        308: button_strip(pill_button, 170, 45, "立即安装", 17),
        309: skindialogs.slides(),
        311: progress_track(),
        312: progress_front(),
        313: skindialogs.finish_background(),
        315: button_strip(pill_button, 170, 45, "立即体验", 17),
        316: skindialogs.update_background(),
        317: link_icon_video(),
        318: link_icon_web(),
        340: skindialogs.message_background(),
        341: button_strip(pill_button, 90, 35, "确定", 14),
        342: button_strip(outline_button, 90, 35, "取消", 14),
    }


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "orvsetup", "resources", "skin")
    os.makedirs(out, exist_ok=True)
    for number, image in sorted(images().items()):
        image.save(os.path.join(out, "%d.png" % number), optimize=True)


if __name__ == "__main__":
    main()
