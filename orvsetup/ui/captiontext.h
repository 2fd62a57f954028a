// The text of labels, link labels and check boxes: font, brush, and the rendered text kept in a bitmap.
#pragma once

#include <windows.h>
#include <gdiplus.h>

#include <memory>
#include <string>

#include "ui/imageobject.h"

namespace ORVUE {

// Text drawn at a point, never wrapped or aligned. Drawing text is the dearest part of a repaint, so the
// text is rendered once (grey-scale anti-aliased over a transparent, premultiplied bitmap) whenever text,
// font, colour or the target's resolution change, and each paint composes that bitmap, which gives the same
// pixels as drawing the string in place.
class CaptionText {
public:
    CaptionText();
    ~CaptionText();
    CaptionText(const CaptionText&) = delete;
    CaptionText& operator=(const CaptionText&) = delete;

    void SetText(const wchar_t* text);
    const std::wstring& Text() const { return text_; }
    // A solid brush of ARGB (254, r, g, b) from the low 8 bits of each component.
    void SetColor(WORD r, WORD g, WORD b);
    // `style` is a combination of Gdiplus::FontStyle values; a family that cannot be found gives the
    // generic sans-serif family. A size GDI+ refuses leaves no font, and nothing is drawn.
    void SetFont(const wchar_t* family, int size, int style);

    // Draws the text as DrawString at (x, y) with the default format would, under ClearTypeGridFit.
    void Paint(Gdiplus::Graphics& graphics, int x, int y);

private:
    void Render(Gdiplus::Graphics& target);
    void Invalidate();

    std::wstring text_;
    std::unique_ptr<Gdiplus::Font> font_;
    std::unique_ptr<Gdiplus::SolidBrush> brush_;
    std::unique_ptr<ImageObject> rendered_;  // null: draw the string directly
    bool stale_ = true;
    Gdiplus::REAL dpiX_ = 0, dpiY_ = 0;
};

}  // namespace ORVUE
