// Pictures: the whole image scaled into the rectangle with high-quality interpolation.
#include "ui/pictureuiobject.h"

#include "ui/controlsupport.h"

namespace ORVUE {

PictureUIObjectImpl::PictureUIObjectImpl() = default;
PictureUIObjectImpl::~PictureUIObjectImpl() = default;

int PictureUIObjectImpl::Paint(Gdiplus::Graphics& graphics) {
    if (!visible_ || !image_) return 0;
    InterpolationScope quality(graphics, Gdiplus::InterpolationModeHighQualityBicubic);
    graphics.DrawImage(image_.get(), Gdiplus::Rect(rect_.left, rect_.top, RectWidth(rect_), RectHeight(rect_)), 0, 0,
                       static_cast<INT>(image_->Width()), static_cast<INT>(image_->Height()), Gdiplus::UnitPixel);
    return 0;
}

int PictureUIObjectImpl::Create(HWND owner, int left, int top, int right, int bottom, UINT resId,
                                const wchar_t* resType) {
    RequireResource(resId);
    image_ = ImageObject::Load(resType, resId);
    owner_ = owner;
    SetRect(left, top, right, bottom);
    return 0;
}

void PictureUIObjectImpl::SetRect(int left, int top, int right, int bottom) {
    rect_ = RECT{left, top, right, bottom};
    NoteChange();
}

void PictureUIObjectImpl::SetVisible(BOOL visible) {
    visible_ = visible;
    NoteChange();
}

}  // namespace ORVUE
