// Carousel: slide and fade timers, the fade arithmetic and the cross-fade painting.
#include "ui/carouseluiobject.h"

#include "ui/controlsupport.h"
#include "utility/trace.h"

namespace ORVUE {
namespace {

constexpr UINT kFadeTick = 66;                    // milliseconds between fade steps
constexpr float kFadeStepNumerator = 66.666664f;  // the fade step is this over the fade interval

// Draws frame `frame` of the strip 1:1 at `dest`, its opacity scaled by `opacity`.
void DrawFrame(Gdiplus::Graphics& graphics, Gdiplus::Image* strip, float slotWidth, int frame,
               const Gdiplus::RectF& dest, float opacity) {
    const Gdiplus::REAL left = slotWidth * static_cast<float>(frame);
    if (opacity >= 1.0f) {
        graphics.DrawImage(strip, dest, left, 0, dest.Width, dest.Height, Gdiplus::UnitPixel);
        return;
    }
    Gdiplus::ColorMatrix matrix = {{{1, 0, 0, 0, 0}, {0, 1, 0, 0, 0}, {0, 0, 1, 0, 0}, {0, 0, 0, opacity, 0},
                                    {0, 0, 0, 0, 1}}};
    Gdiplus::ImageAttributes attributes;
    attributes.SetColorMatrix(&matrix);
    graphics.DrawImage(strip, dest, left, 0, dest.Width, dest.Height, Gdiplus::UnitPixel, &attributes);
}

}  // namespace

CarouselUIObjectImpl::CarouselUIObjectImpl() : slideTimerId_(NextTimerId()), fadeTimerId_(NextTimerId()) {}

CarouselUIObjectImpl::~CarouselUIObjectImpl() { Stop(); }

void CarouselUIObjectImpl::SetFrameCount(int count) {
    frameCount_ = count;
    NoteChange();
}

void CarouselUIObjectImpl::ResetFrame() {
    frame_ = 0;
    NoteChange();
}

void CarouselUIObjectImpl::RequestTimer(WORD timerId, UINT interval) {
    SendToOwner(GetOwner(), ORVUM_SETANIMATIONTIMER, MAKELONG(timerId, interval),
                static_cast<IORVBaseAnimationObject*>(this));
}

void CarouselUIObjectImpl::KillTimer(WORD timerId) {
    SendToOwner(GetOwner(), ORVUM_KILLANIMATIONTIMER, timerId, static_cast<IORVBaseAnimationObject*>(this));
}

void CarouselUIObjectImpl::Play() {
    if (playing_) return;
    orv::TraceLine(L"ORVUE::CarouselUIObjectImpl::Play");
    fadeStep_ = kFadeStepNumerator / static_cast<float>(fadeInterval_);
    orv::TraceLine(L"Fade:%0.2f\r\n", static_cast<double>(fadeStep_));
    RequestTimer(slideTimerId_, interval_);
    playing_ = TRUE;
}

// Alpha and frame stay as they are: a fade stopped halfway stays on screen.
void CarouselUIObjectImpl::Stop() {
    if (!playing_) return;
    playing_ = FALSE;
    orv::TraceLine(L"ORVUE::CarouselUIObjectImpl::Stop");
    KillTimer(fadeTimerId_);
    KillTimer(slideTimerId_);
}

// Each slide tick starts (or restarts) the fade ticks; the slide timer runs until Stop.
void CarouselUIObjectImpl::OnTimer(int timerId) {
    orv::TraceLine(L"ORVUE::CarouselUIObjectImpl::OnTimer %d", timerId);
    if (timerId == slideTimerId_) {
        RequestTimer(fadeTimerId_, kFadeTick);
    } else if (timerId == fadeTimerId_) {
        FadeTick();
    }
}

void CarouselUIObjectImpl::FadeTick() {
    alpha_ -= fadeStep_;
    NoteChange();
    if (alpha_ > 0.0f) return;
    alpha_ = 1.0f;
    frame_ = (frame_ + 1) % FrameCount();
    KillTimer(fadeTimerId_);
}

// The current frame is drawn opaque and the next over it at 1 - alpha, so the two weights always add up
// to one and nothing behind the carousel shows through during a fade.
int CarouselUIObjectImpl::Paint(Gdiplus::Graphics& graphics) {
    ImageObject* strip = Image();
    if (!IsVisible() || !strip) return 0;
    const RECT rect = GetRect();
    using Gdiplus::REAL;
    const Gdiplus::RectF dest(static_cast<REAL>(rect.left), static_cast<REAL>(rect.top),
                              static_cast<REAL>(RectWidth(rect)), static_cast<REAL>(RectHeight(rect)));
    const int count = FrameCount();
    const float slotWidth = static_cast<float>(strip->Width()) / static_cast<float>(count);
    const int current = frame_ % count;
    DrawFrame(graphics, strip, slotWidth, current, dest, 1.0f);
    if (alpha_ < 1.0f) DrawFrame(graphics, strip, slotWidth, (current + 1) % count, dest, 1.0f - alpha_);
    return 0;
}

}  // namespace ORVUE
