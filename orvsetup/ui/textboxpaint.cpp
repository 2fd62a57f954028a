// Painting the text box: its frame, the text services' GDI text laid into the 32-bit bitmap with its
// alpha repaired, and the box's own caret.
#include <windows.h>
#include <gdiplus.h>

#include <cstdint>

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

HBITMAP CreateTopDownDib(HDC dc, int width, int height, uint32_t** bits) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* raw = nullptr;
    HBITMAP dib = ::CreateDIBSection(dc, &info, DIB_RGB_COLORS, &raw, nullptr, 0);
    *bits = static_cast<uint32_t*>(raw);
    return dib;
}

}  // namespace

int TextBoxUIObjectImpl::Paint(Gdiplus::Graphics& graphics) {
    if (!visible_ || !hostCreated_) return 0;
    const int width = rect_.right - rect_.left, height = rect_.bottom - rect_.top;
    graphics.DrawImage(background_.get(), Gdiplus::Rect(rect_.left, rect_.top, width, height), state_ * width, 0,
                       width, height, Gdiplus::UnitPixel);
    const RECT text = host_->TextRect();
    if (text.right <= text.left || text.bottom <= text.top) return 0;
    DrawText(graphics, text);
    if (caretShown_ && focused_ && host_->CaretVisible()) DrawCaret(graphics, text, host_->CaretHeight());
    return 0;
}

// The text services draw onto a copy of what lies under the text rectangle, so that smoothed glyph edges
// blend with the real background; only the pixels they wrote are then laid onto the bitmap.
void TextBoxUIObjectImpl::DrawText(Gdiplus::Graphics& graphics, const RECT& text) {
    const int width = text.right - text.left, height = text.bottom - text.top;
    const orv::UniqueGdiObject clip = ClipRegionOf(graphics);
    HDC dc = graphics.GetHDC();
    if (!dc) return;
    const auto releaseDc = orv::MakeScopeExit([&graphics, dc] { graphics.ReleaseHDC(dc); });
    const int saved = ::SaveDC(dc);
    const auto restoreDc = orv::MakeScopeExit([dc, saved] { ::RestoreDC(dc, saved); });
    ::SelectClipRgn(dc, static_cast<HRGN>(clip.Get()));

    HDC memory = ::CreateCompatibleDC(dc);
    if (!memory) return;
    const auto deleteMemory = orv::MakeScopeExit([memory] { ::DeleteDC(memory); });
    uint32_t* pixels = nullptr;
    orv::UniqueGdiObject dib(CreateTopDownDib(dc, width, height, &pixels));
    if (!dib || !pixels) return;
    HGDIOBJ previous = ::SelectObject(memory, dib.Get());
    const auto deselect = orv::MakeScopeExit([memory, previous] { ::SelectObject(memory, previous); });

    ::BitBlt(memory, 0, 0, width, height, dc, text.left, text.top, SRCCOPY);
    // The text services lay out in window coordinates: move the memory DC's origin instead of the text.
    POINT origin;
    ::SetViewportOrgEx(memory, -text.left, -text.top, &origin);
    RECTL bounds = {text.left, text.top, text.right, text.bottom};
    RECT update = text;
    host_->Services()->TxDraw(DVASPECT_CONTENT, 0, nullptr, nullptr, memory, nullptr, &bounds, nullptr, &update,
                              nullptr, 0, TXTVIEW_ACTIVE);
    ::SetViewportOrgEx(memory, origin.x, origin.y, nullptr);
    ::GdiFlush();
    KeepOnlyWrittenPixels(pixels, static_cast<size_t>(width) * static_cast<size_t>(height));

    const BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    ::AlphaBlend(dc, text.left, text.top, width, height, memory, 0, 0, width, height, blend);
}

// A one-pixel bar as tall as the text services' caret, kept inside the text rectangle.
void TextBoxUIObjectImpl::DrawCaret(Gdiplus::Graphics& graphics, const RECT& text, int caretHeight) {
    POINT at;
    if (!::GetCaretPos(&at) || caretHeight <= 0) return;
    RECT caret = {at.x, at.y, at.x + 1, at.y + caretHeight};
    if (!::IntersectRect(&caret, &caret, &text)) return;
    Gdiplus::SolidBrush brush{Gdiplus::Color(kCaretColour)};
    graphics.FillRectangle(&brush, Gdiplus::Rect(caret.left, caret.top, caret.right - caret.left, caret.bottom - caret.top));
}

}  // namespace ORVUE
