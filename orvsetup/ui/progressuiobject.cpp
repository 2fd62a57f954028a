// Progress bars: background, left cap, stretched body, right cap.
#include "ui/progressuiobject.h"

#include <cmath>

#include "ui/controlsupport.h"

namespace ORVUE {

ProgressUIObjectImpl::ProgressUIObjectImpl() = default;
ProgressUIObjectImpl::~ProgressUIObjectImpl() = default;

int ProgressUIObjectImpl::Create(HWND owner, int left, int top, int right, int bottom, UINT resId,
                                 const wchar_t* resType) {
    RequireResource(resId);
    background_ = ImageObject::Load(resType, resId);
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
    bodyCache_.reset();
    NoteChange();
}

void ProgressUIObjectImpl::SetFrontImage(const wchar_t* resType, UINT resId) {
    frontImage_ = ImageObject::Load(resType, resId);
    bodyCache_.reset();
    NoteChange();
}

void ProgressUIObjectImpl::StepIt() {
    if (pos_ >= 100) return;
    ++pos_;
    NoteChange();
}

int ProgressUIObjectImpl::Paint(Gdiplus::Graphics& graphics) {
    if (!visible_) return 0;
    DrawImagePart(graphics, background_.get(), rect_.left, rect_.top, 0, 0, RectWidth(rect_), RectHeight(rect_));
    if (frontImage_) PaintFront(graphics);
    return 0;
}

// The stretched middle of the front image for the current position, made once per position: stretching
// with high-quality interpolation on every repaint would cost more than all other drawing of a dialog.
ImageObject* ProgressUIObjectImpl::FilledBody(float filled, int height) {
    if (bodyCache_ && bodyCachePos_ == pos_ && static_cast<int>(bodyCache_->GetHeight()) == height) return bodyCache_.get();
    bodyCache_.reset();
    ImageObject* image = frontImage_.get();
    const int width = static_cast<int>(std::ceil(filled));
    auto body = std::make_unique<ImageObject>(width, height);
    if (body->GetLastStatus() != Gdiplus::Ok) return nullptr;
    {
        Gdiplus::Graphics canvas(body.get());
        InterpolationScope quality(canvas, Gdiplus::InterpolationModeHighQualityBicubic);
        using Gdiplus::REAL;
        const int imageWidth = static_cast<int>(image->Width()), imageHeight = static_cast<int>(image->Height());
        canvas.DrawImage(image, Gdiplus::RectF(0, 0, filled, static_cast<REAL>(height)), static_cast<REAL>(spl_), 0,
                         static_cast<REAL>(imageWidth - spl_ - spr_), static_cast<REAL>(imageHeight), Gdiplus::UnitPixel);
    }
    bodyCache_ = std::move(body);
    bodyCachePos_ = pos_;
    return bodyCache_.get();
}

// The caps are drawn 1:1 at every position; the middle of the front image is stretched over the share of
// the space between them that the position gives, and the right cap follows its end, one pixel over it.
void ProgressUIObjectImpl::PaintFront(Gdiplus::Graphics& graphics) {
    using Gdiplus::REAL;
    ImageObject* image = frontImage_.get();
    const int frontWidth = RectWidth(front_), frontHeight = RectHeight(front_);
    const int imageWidth = static_cast<int>(image->Width()), imageHeight = static_cast<int>(image->Height());
    DrawImagePart(graphics, image, front_.left, front_.top, 0, 0, spl_, frontHeight);
    const float filled = static_cast<float>((frontWidth - spl_ - spr_) / 100.0 * pos_);
    const REAL bodyLeft = static_cast<REAL>(front_.left + spl_);
    if (filled > 0) {
        if (ImageObject* body = FilledBody(filled, frontHeight)) {
            DrawImagePart(graphics, body, front_.left + spl_, front_.top, 0, 0, static_cast<int>(body->GetWidth()),
                          frontHeight);
        }
    }
    const int capLeft = static_cast<int>(filled + bodyLeft - 1.0);
    DrawImagePart(graphics, image, capLeft, front_.top, imageWidth - spr_, 0, spr_, imageHeight);
}

}  // namespace ORVUE
