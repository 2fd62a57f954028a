"""The dialog backgrounds and the progress dialog's slides, laid out around the layout's rectangles."""
from skinart import (ACCENT, ACCENT_DARK, ACCENT_LIGHT, ACCENT_MUTED, ACCENT_TINT, Art, BORDER, INK, INK_SOFT,
                     LINE, PAGE, WHITE, mix, rgba, strip)
from skinpieces import (brand, fence, finish_window, logo, organised_screen, search_glyph, shadow,
                        tick, tile, window)

WIDTH, HEIGHT = 600, 490
SLIDE_HEIGHT = 386            # rows of a slide the carousel shows
SKY_TOP, SKY_BOTTOM = ACCENT_TINT, (250, 252, 255)


def header_brand(art, height):
    """Brand and the setup's title centred in a header band."""
    y = (height - 34) / 2
    end = brand(art, 26, y)
    art.text((end + 14, height / 2 + 1), "奎比桌面 · 安装向导", 13, rgba(WHITE, 215), anchor="lm")


# -- options dialog ---------------------------------------------------------------------------------------
def options_background():
    """301: header band (0-79), a hero line above the install button (222-267), the agreement line
    (287-307), then the folder row (353-385) and the option boxes (403-455) with their captions."""
    art = window(WIDTH, HEIGHT, header=79)
    header_brand(art, 79)
    organised_screen(art, (86, 94, 236, 212))
    art.text((266, 132), "让桌面井井有条", 24, INK, anchor="ls", bold=True)
    art.text((267, 162), "图标自动归类 · 文件一键收纳 · 全盘极速搜索", 13, INK_SOFT, anchor="ls")
    art.rect((40, 328, 560, 329), rgba(LINE))
    art.text((145, 369), "安装位置", 13, INK_SOFT, anchor="rm")
    art.text((145, 413), "附加选项", 13, INK_SOFT, anchor="rm")
    art.rect((155, 353, 420, 385), rgba(WHITE), radius=5)  # opaque under the folder box, whatever its frame
    return finish_window(art)


# -- progress dialog --------------------------------------------------------------------------------------
def sky(art):
    """The light sky behind the slides (and behind them in the background, which shows through a fade)."""
    art.gradient((0, 0, WIDTH, SLIDE_HEIGHT), SKY_TOP, SKY_BOTTOM)
    art.ellipse((-120, 230, 200, 520), fill=rgba(WHITE, 150))
    art.ellipse((430, -160, 720, 130), fill=rgba(ACCENT_LIGHT, 26))
    art.ellipse((500, 250, 680, 430), fill=rgba(ACCENT_LIGHT, 16))


def progress_background():
    """307: the slides' sky above 386, a white panel below it with the bar (420) and its caption (450)."""
    art = window(WIDTH, HEIGHT, page=WHITE)
    sky(art)
    art.rect((0, SLIDE_HEIGHT, WIDTH, HEIGHT), rgba(WHITE))
    art.rect((0, SLIDE_HEIGHT, WIDTH, SLIDE_HEIGHT + 1), rgba(LINE))
    return finish_window(art)


def slide_text(art, tag, headline, subline):
    top = 132
    art.rect((48, top, 48 + 16 * len(tag) + 8, top + 22), rgba(WHITE), radius=11, outline=rgba(ACCENT_MUTED),
             width=1)
    art.text((48 + (16 * len(tag) + 8) / 2, top + 11), tag, 12, ACCENT, anchor="mm")
    art.text((48, top + 66), headline, 27, INK, anchor="ls", bold=True)
    art.text((49, top + 100), subline, 14, INK_SOFT, anchor="ls")


def slide_organise(art):
    slide_text(art, "桌面分区", "桌面分区，一目了然", "图标按用途自动归入分区，想找就找")
    organised_screen(art, (318, 96, 566, 318))


def slide_tidy(art):
    slide_text(art, "一键整理", "一键整理，告别杂乱", "散落的文件与快捷方式，瞬间各归其位")
    card = (318, 110, 566, 300)
    shadow(art, card, 12)
    art.rect(card, rgba(WHITE), radius=12)
    scattered = [(350, 150, 14, ACCENT, -14), (385, 140, 12, ACCENT_MUTED, 18), (366, 182, 13, ACCENT_LIGHT, 30),
                 (340, 215, 12, ACCENT_DARK, -24), (392, 205, 14, ACCENT_MUTED, 8), (358, 252, 13, ACCENT, 40),
                 (398, 248, 12, ACCENT_LIGHT, -32)]
    for x, y, size, colour, angle in scattered:
        tile(art, x, y, size, colour, angle)
    art.lines([[(420, 205), (446, 205)], [(438, 196), (447, 205), (438, 214)]], rgba(ACCENT), 3)
    fence(art, (458, 146, 552, 264), [ACCENT, ACCENT_MUTED, ACCENT_LIGHT, ACCENT_DARK, ACCENT_MUTED, ACCENT,
                                      ACCENT_LIGHT, ACCENT_DARK, ACCENT, ACCENT_LIGHT])


def slide_search(art):
    slide_text(art, "极速搜索", "全盘搜索，随手即达", "输入几个字，文件与程序立刻找到")
    card = (318, 104, 566, 306)
    shadow(art, card, 12)
    art.rect(card, rgba(WHITE), radius=12)
    art.rect((334, 120, 550, 152), rgba(PAGE), radius=16, outline=rgba(ACCENT), width=1.5)
    search_glyph(art, 354, 136, 16, ACCENT, 2)
    art.text((370, 136), "季度报告", 13, INK, anchor="lm")
    art.rect((425, 128, 426.5, 144), rgba(ACCENT))
    for row in range(4):
        top = 166 + row * 34
        if row == 0:
            art.rect((330, top - 4, 554, top + 28), rgba(ACCENT_TINT), radius=8)
        tile(art, 350, top + 12, 18, (ACCENT, ACCENT_LIGHT, ACCENT_MUTED, ACCENT_DARK)[row])
        art.rect((368, top + 4, 368 + (150, 118, 132, 96)[row], top + 10), rgba(mix(INK, WHITE, 0.55)), radius=3)
        art.rect((368, top + 15, 368 + (92, 120, 74, 104)[row], top + 20), rgba(BORDER), radius=2.5)


def slide(draw):
    art = Art(WIDTH, HEIGHT)
    sky(art)
    brand(art, 26, 20, size=28, colour=ACCENT_DARK, on_light=True)
    draw(art)
    frame = finish_window(art)
    frame.paste((0, 0, 0, 0), (0, SLIDE_HEIGHT, WIDTH, HEIGHT))  # never shown: left empty
    return frame


def slides():
    """309: three 600-wide slides; the carousel shows their top 386 rows."""
    return strip([slide(slide_organise), slide(slide_tidy), slide(slide_search)])


# -- finish dialog ----------------------------------------------------------------------------------------
def finish_background():
    """313: header band (0-80); a success mark on the left; on the right the contact card behind the two
    contact links (152, 187) and the web and video links (220-240); the start button (375-420) below."""
    art = window(WIDTH, HEIGHT, header=80)
    header_brand(art, 80)
    art.ellipse((98, 126, 202, 230), fill=rgba(ACCENT, 26))
    art.gradient((110, 138, 190, 218), ACCENT_LIGHT, ACCENT, radius=40)
    tick(art, 150, 179, 40, WHITE, 5)
    art.text((150, 268), "安装完成", 24, INK, anchor="ms", bold=True)
    art.text((150, 296), "奎比桌面已准备就绪", 14, INK_SOFT, anchor="ms")
    card = (330, 108, 566, 256)
    shadow(art, card, 10, strength=18)
    art.rect(card, rgba(WHITE), radius=10, outline=rgba(LINE), width=1)
    art.text((349, 128), "联系我们", 14, INK, anchor="lm", bold=True)
    art.text((349, 160), "售前客服：", 12, INK_SOFT, anchor="lm")
    art.text((349, 195), "售后客服：", 12, INK_SOFT, anchor="lm")
    art.rect((349, 210, 548, 211), rgba(LINE))
    return finish_window(art)


# -- update dialog ----------------------------------------------------------------------------------------
def update_background():
    """316: a tall accent band (0-335, with a free corner for the white title at 12,10) holding an update
    mark; the bar (420) and its caption (450) on the light part below."""
    art = window(WIDTH, HEIGHT, header=335)
    art.ellipse((-80, 200, 160, 440), fill=rgba(WHITE, 14))
    brand(art, 26, 46)
    art.ellipse((234, 90, 366, 222), fill=rgba(WHITE, 40))
    art.ellipse((250, 106, 350, 206), fill=rgba(WHITE))
    art.polygon([(300, 128), (326, 158), (311, 158), (311, 186), (289, 186), (289, 158), (274, 158)], rgba(ACCENT))
    art.text((300, 270), "正在升级到新版本", 24, WHITE, anchor="ms", bold=True)
    art.text((300, 300), "升级期间请勿关闭电脑", 13, rgba(WHITE, 215), anchor="ms")
    return finish_window(art)


# -- message dialog ---------------------------------------------------------------------------------------
def message_background():
    """340 (320x220): a slim header (0-29) for the close button, an information mark left of the message
    (66-280, 88-110) and room for the two buttons (135-170)."""
    art = Art(320, 220, rgba(WHITE))
    art.gradient((0, 0, 320, 29), ACCENT_LIGHT, ACCENT)
    logo(art, 9, 6, 17)
    art.text((34, 15), "提示", 12, WHITE, anchor="lm")
    art.ellipse((26, 84, 56, 114), fill=rgba(ACCENT_TINT))
    art.ellipse((39.2, 90.5, 42.8, 94.1), fill=rgba(ACCENT))
    art.rect((39.4, 96.5, 42.6, 107.5), rgba(ACCENT), radius=1.5)
    art.mask_rounded(8, edge=(0, 0, 0, 40))
    return art.finish()


