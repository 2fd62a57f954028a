// Caption text: font with fallback, brush, and the bitmap the text is rendered into once.
#include "ui/captiontext.h"

#include "ui/controlsupport.h"
#include "ui/orvbaseuiobject.h"
#include "utility/trace.h"

#include <cmath>

namespace ORVUE {
namespace {

// Room around the text's layout box for glyphs that reach past it.
constexpr int kMargin = 2;
// Larger texts are drawn directly rather than kept in a bitmap.
constexpr int kMaxRenderedSide = 4096;

// The generic sans-serif family's name, asked of GDI+ itself (the wrapper's cached generic families are
// data of the static GDI+ library, which a program that loads GDI+ late does not link).
std::wstring GenericSansSerifName() {
    Gdiplus::GpFontFamily* native = nullptr;
    if (Gdiplus::DllExports::GdipGetGenericFontFamilySansSerif(&native) != Gdiplus::Ok || !native) return L"";
    WCHAR name[LF_FACESIZE] = {};
    Gdiplus::DllExports::GdipGetFamilyName(native, name, LANG_NEUTRAL);
    Gdiplus::DllExports::GdipDeleteFontFamily(native);
    return name;
}

std::unique_ptr<Gdiplus::Font> MakeFont(const wchar_t* family, int size, int style) {
    Gdiplus::FontFamily named(family ? family : L"");
    const Gdiplus::FontFamily* chosen = &named;
    std::unique_ptr<Gdiplus::FontFamily> generic;
    if (named.GetLastStatus() != Gdiplus::Ok) {
        const std::wstring genericName = GenericSansSerifName();
        if (!genericName.empty()) generic = std::make_unique<Gdiplus::FontFamily>(genericName.c_str());
        chosen = generic.get();
        if (!chosen || chosen->GetLastStatus() != Gdiplus::Ok) {
            orv::TraceLine(L"no font family %ls and no generic sans-serif family\r\n", family ? family : L"");
            return nullptr;
        }
    }
    auto font = std::make_unique<Gdiplus::Font>(chosen, static_cast<Gdiplus::REAL>(size), style, Gdiplus::UnitPoint);
    if (font->GetLastStatus() != Gdiplus::Ok) {
        orv::TraceLine(L"font %ls of size %d cannot be made\r\n", family ? family : L"", size);
        return nullptr;
    }
    return font;
}

}  // namespace

CaptionText::CaptionText() = default;
CaptionText::~CaptionText() = default;

void CaptionText::Invalidate() {
    stale_ = true;
    rendered_.reset();
    NoteChange();
}

void CaptionText::SetText(const wchar_t* text) {
    text_ = text ? text : L"";
    Invalidate();
}

void CaptionText::SetColor(WORD r, WORD g, WORD b) {
    brush_ = std::make_unique<Gdiplus::SolidBrush>(Gdiplus::Color(254, r & 0xFF, g & 0xFF, b & 0xFF));
    Invalidate();
}

void CaptionText::SetFont(const wchar_t* family, int size, int style) {
    font_ = MakeFont(family, size, style);
    Invalidate();
}

// Renders the text into a transparent bitmap of the target's resolution; leaves `rendered_` null when the
// text has to be drawn directly.
void CaptionText::Render(Gdiplus::Graphics& target) {
    stale_ = false;
    dpiX_ = target.GetDpiX();
    dpiY_ = target.GetDpiY();
    rendered_.reset();
    Gdiplus::RectF box;
    const int length = static_cast<int>(text_.size());
    if (target.MeasureString(text_.c_str(), length, font_.get(), Gdiplus::PointF(0, 0), &box) != Gdiplus::Ok) return;
    const int width = static_cast<int>(std::ceil(box.Width)) + 2 * kMargin;
    const int height = static_cast<int>(std::ceil(box.Height)) + 2 * kMargin;
    if (width > kMaxRenderedSide || height > kMaxRenderedSide) return;
    auto bitmap = std::make_unique<ImageObject>(width, height);
    if (bitmap->GetLastStatus() != Gdiplus::Ok) return;
    bitmap->SetResolution(dpiX_, dpiY_);
    Gdiplus::Graphics graphics(bitmap.get());
    graphics.Clear(Gdiplus::Color(0, 0, 0, 0));
    graphics.SetTextRenderingHint(Gdiplus::TextRenderingHintAntiAliasGridFit);
    const Gdiplus::PointF origin(static_cast<Gdiplus::REAL>(kMargin), static_cast<Gdiplus::REAL>(kMargin));
    if (graphics.DrawString(text_.c_str(), length, font_.get(), origin, brush_.get()) != Gdiplus::Ok) return;
    rendered_ = std::move(bitmap);
}

void CaptionText::Paint(Gdiplus::Graphics& graphics, int x, int y) {
    if (text_.empty() || !font_ || !brush_) return;
    if (stale_ || dpiX_ != graphics.GetDpiX() || dpiY_ != graphics.GetDpiY()) Render(graphics);
    TextHintScope hint(graphics, Gdiplus::TextRenderingHintClearTypeGridFit);
    if (rendered_) {
        const INT width = static_cast<INT>(rendered_->GetWidth()), height = static_cast<INT>(rendered_->GetHeight());
        DrawImagePart(graphics, rendered_.get(), x - kMargin, y - kMargin, 0, 0, width, height);
        return;
    }
    graphics.DrawString(text_.c_str(), static_cast<int>(text_.size()), font_.get(),
                        Gdiplus::PointF(static_cast<Gdiplus::REAL>(x), static_cast<Gdiplus::REAL>(y)), brush_.get());
}

}  // namespace ORVUE
