// Painting the text box: its frame, the text services' GDI text laid into the 32-bit bitmap with its
// alpha repaired, and the box's own caret.
#include <windows.h>
#include <gdiplus.h>

#include <algorithm>
#include <cstdint>

#include "ui/controlsupport.h"
#include "ui/dibpixels.h"
#include "ui/textboxuiobject.h"
#include "ui/txtwinhost.h"
#include "utility/scopeguard.h"
#include "utility/uniquehandle.h"

namespace ORVUE {

namespace {

constexpr Gdiplus::ARGB kCaretColour = 0xFE000000;

// GDI text drawing leaves alpha 0 in the pixels it writes and keeps every other pixel: those become the
// only opaque pixels, the rest fully transparent.
void KeepOnlyWrittenPixels(uint32_t* pixels, size_t count) {
    for (size_t i = 0; i < count; ++i) pixels[i] = (pixels[i] & 0xFF000000u) ? 0u : (pixels[i] | 0xFF000000u);
}

// The graphics' clip as a GDI region, or none when the graphics clips nothing. Read before the graphics
// hands out its DC: it answers nothing while the DC is out.
orv::UniqueGdiObject ClipRegionOf(Gdiplus::Graphics& graphics) {
    Gdiplus::Region clip;
    if (graphics.GetClip(&clip) != Gdiplus::Ok || clip.IsInfinite(&graphics)) return orv::UniqueGdiObject();
    Gdiplus::Rect bounds;
    graphics.GetClipBounds(&bounds);
    return orv::UniqueGdiObject(::CreateRectRgn(bounds.X, bounds.Y, bounds.GetRight(), bounds.GetBottom()));
}

// The text rectangle's pixels, into which the text services draw in window coordinates.
class TextLayer {
public:
    explicit TextLayer(const RECT& text) : text_(text), pixels_(Width(), Height()) {}

    bool Valid() const { return pixels_.Bits() != nullptr; }
    HDC Dc() const { return pixels_.Dc(); }
    int Width() const { return text_.right - text_.left; }
    int Height() const { return text_.bottom - text_.top; }
    uint32_t* Pixels() const { return pixels_.Bits(); }
    size_t Count() const { return static_cast<size_t>(Width()) * static_cast<size_t>(Height()); }
    void Fill(uint32_t pixel) { std::fill(Pixels(), Pixels() + Count(), pixel); }

    void Draw(ITextServices* services) {
        POINT origin;
        ::SetViewportOrgEx(Dc(), -text_.left, -text_.top, &origin);
        RECTL bounds = {text_.left, text_.top, text_.right, text_.bottom};
        RECT update = text_;
        services->TxDraw(DVASPECT_CONTENT, 0, nullptr, nullptr, Dc(), nullptr, &bounds, nullptr, &update, nullptr,
                         0, TXTVIEW_ACTIVE);
        ::SetViewportOrgEx(Dc(), origin.x, origin.y, nullptr);
        ::GdiFlush();
    }

private:
    RECT text_;  // before the pixels, which are made to its size
    DibPixels pixels_;
};

bool AnyOpaque(const uint32_t* pixels, size_t count) {
    return std::any_of(pixels, pixels + count, [](uint32_t pixel) { return (pixel & 0xFF000000u) != 0; });
}

}  // namespace

int TextBoxUIObjectImpl::Paint(Gdiplus::Graphics& graphics) {
    if (!visible_ || !hostCreated_) return 0;
    const int width = rect_.right - rect_.left, height = rect_.bottom - rect_.top;
    DrawImagePart(graphics, background_.get(), rect_.left, rect_.top, state_ * width, 0, width, height);
    const RECT text = host_->TextRect();
    if (text.right <= text.left || text.bottom <= text.top) return 0;
    if (!DrawTextOverDc(graphics, text)) DrawTextAsImage(graphics, text);
    if (caretShown_ && focused_ && host_->CaretVisible()) DrawCaret(graphics, text, host_->CaretHeight());
    return 0;
}

// The text services draw onto a copy of what lies under the text rectangle, so that smoothed glyph edges
// blend with the real background; only the pixels they wrote are then laid onto the bitmap. False, with
// nothing drawn, when the graphics' DC does not show the picture (a graphics over a GDI+ bitmap may hand
// out a blank DC that it lays back over the bitmap afterwards).
bool TextBoxUIObjectImpl::DrawTextOverDc(Gdiplus::Graphics& graphics, const RECT& text) {
    const orv::UniqueGdiObject clip = ClipRegionOf(graphics);
    HDC dc = graphics.GetHDC();
    if (!dc) return false;
    const auto releaseDc = orv::MakeScopeExit([&graphics, dc] { graphics.ReleaseHDC(dc); });
    const int saved = ::SaveDC(dc);
    const auto restoreDc = orv::MakeScopeExit([dc, saved] { ::RestoreDC(dc, saved); });
    ::SelectClipRgn(dc, static_cast<HRGN>(clip.Get()));

    TextLayer layer(text);
    if (!layer.Valid()) return true;
    ::BitBlt(layer.Dc(), 0, 0, layer.Width(), layer.Height(), dc, text.left, text.top, SRCCOPY);
    ::GdiFlush();
    if (!AnyOpaque(layer.Pixels(), layer.Count())) return false;
    layer.Draw(host_->Services());
    KeepOnlyWrittenPixels(layer.Pixels(), layer.Count());
    const BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    ::AlphaBlend(dc, text.left, text.top, layer.Width(), layer.Height(), layer.Dc(), 0, 0, layer.Width(),
                 layer.Height(), blend);
    return true;
}

// Without the picture under it the text is drawn twice, on black and on white: how far a pixel stays
// from white on black is its coverage, and its colour on black is the premultiplied colour. The result is
// laid on with GDI+, which keeps the graphics' clip.
void TextBoxUIObjectImpl::DrawTextAsImage(Gdiplus::Graphics& graphics, const RECT& text) {
    TextLayer onBlack(text), onWhite(text);
    if (!onBlack.Valid() || !onWhite.Valid()) return;
    onBlack.Fill(0xFF000000u);
    onBlack.Draw(host_->Services());
    onWhite.Fill(0xFFFFFFFFu);
    onWhite.Draw(host_->Services());
    uint32_t* out = onBlack.Pixels();
    const uint32_t* white = onWhite.Pixels();
    for (size_t i = 0; i < onBlack.Count(); ++i) {
        uint32_t alpha = 0;
        for (int shift = 0; shift < 24; shift += 8) {
            const uint32_t b = (out[i] >> shift) & 0xFF, w = (white[i] >> shift) & 0xFF;
            alpha = std::max(alpha, 255u - (w > b ? w - b : 0u));
        }
        uint32_t pixel = alpha << 24;
        for (int shift = 0; shift < 24; shift += 8) pixel |= std::min((out[i] >> shift) & 0xFF, alpha) << shift;
        out[i] = pixel;
    }
    Gdiplus::Bitmap image(onBlack.Width(), onBlack.Height(), onBlack.Width() * 4, PixelFormat32bppPARGB,
                          reinterpret_cast<BYTE*>(out));
    graphics.DrawImage(&image, Gdiplus::Rect(text.left, text.top, onBlack.Width(), onBlack.Height()), 0, 0,
                       onBlack.Width(), onBlack.Height(), Gdiplus::UnitPixel);
}

// A one-pixel bar as tall as the text services' caret, kept inside the text rectangle.
void TextBoxUIObjectImpl::DrawCaret(Gdiplus::Graphics& graphics, const RECT& text, int caretHeight) {
    POINT at;
    if (!::GetCaretPos(&at) || caretHeight <= 0) return;
    RECT caret = {at.x, at.y, at.x + 1, at.y + caretHeight};
    if (!::IntersectRect(&caret, &caret, &text)) return;
    Gdiplus::SolidBrush brush{Gdiplus::Color(kCaretColour)};
    const Gdiplus::Rect bar(caret.left, caret.top, caret.right - caret.left, caret.bottom - caret.top);
    graphics.FillRectangle(&brush, bar);
}

}  // namespace ORVUE
