// Progress bars: background, left cap, stretched body, right cap.
#include "ui/progressuiobject.h"

#include "ui/controlsupport.h"

namespace ORVUE {

ProgressUIObjectImpl::ProgressUIObjectImpl() = default;
ProgressUIObjectImpl::~ProgressUIObjectImpl() = default;

int ProgressUIObjectImpl::Create(HWND owner, int left, int top, int right, int bottom, UINT resId,
                                 const wchar_t* resType) {
    RequireResource(resId);
    background_ = std::make_unique<ImageObject>(resType, resId);
    owner_ = owner;
    rect_ = RECT{left, top, right, bottom};
    NoteChange();
    return 0;
}

void ProgressUIObjectImpl::SetRect(int left, int top, int, int) {
    const int dx = left - rect_.left, dy = top - rect_.top;
    ::OffsetRect(&rect_, dx, dy);
    ::OffsetRect(&front_, dx, dy);
    NoteChange();
}

void ProgressUIObjectImpl::SetVisible(BOOL visible) {
    visible_ = visible;
    NoteChange();
}

void ProgressUIObjectImpl::SetFront(const RECT& front, int spl, int spr) {
    front_ = front;
    spl_ = spl;
    spr_ = spr;
    NoteChange();
}

void ProgressUIObjectImpl::SetFrontImage(const wchar_t* resType, UINT resId) {
    frontImage_ = std::make_unique<ImageObject>(resType, resId);
    NoteChange();
}

void ProgressUIObjectImpl::StepIt() {
    if (pos_ >= 100) return;
    ++pos_;
    NoteChange();
}

int ProgressUIObjectImpl::Paint(Gdiplus::Graphics& graphics) {
    if (!visible_) return 0;
    if (background_) {
        graphics.DrawImage(background_.get(), Gdiplus::Rect(rect_.left, rect_.top, RectWidth(rect_), RectHeight(rect_)),
                           0, 0, RectWidth(rect_), RectHeight(rect_), Gdiplus::UnitPixel);
    }
    if (frontImage_) PaintFront(graphics);
    return 0;
}

// The caps are drawn 1:1 at every position; the middle of the front image is stretched over the share of
// the space between them that the position gives, and the right cap follows its end, one pixel over it.
void ProgressUIObjectImpl::PaintFront(Gdiplus::Graphics& graphics) {
    using Gdiplus::REAL;
    ImageObject* image = frontImage_.get();
    const int frontWidth = RectWidth(front_), frontHeight = RectHeight(front_);
    const int imageWidth = static_cast<int>(image->Width()), imageHeight = static_cast<int>(image->Height());
    graphics.DrawImage(image, Gdiplus::Rect(front_.left, front_.top, spl_, frontHeight), 0, 0, spl_, frontHeight,
                       Gdiplus::UnitPixel);
    const float filled = static_cast<float>((frontWidth - spl_ - spr_) / 100.0 * pos_);
    const REAL bodyLeft = static_cast<REAL>(front_.left + spl_);
    if (filled > 0) {
        InterpolationScope quality(graphics, Gdiplus::InterpolationModeHighQualityBicubic);
        const Gdiplus::RectF body(bodyLeft, static_cast<REAL>(front_.top), filled, static_cast<REAL>(frontHeight));
        graphics.DrawImage(image, body, static_cast<REAL>(spl_), 0, static_cast<REAL>(imageWidth - spl_ - spr_),
                           static_cast<REAL>(imageHeight), Gdiplus::UnitPixel);
    }
    const int capLeft = static_cast<int>(filled + bodyLeft - 1.0);
    graphics.DrawImage(image, Gdiplus::Rect(capLeft, front_.top, spr_, imageHeight), imageWidth - spr_, 0, spr_,
                       imageHeight, Gdiplus::UnitPixel);
}

}  // namespace ORVUE
