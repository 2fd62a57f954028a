// Carousel: slide and fade timers, the fade arithmetic and the cross-fade painting.
#include "ui/carouseluiobject.h"

#include "ui/controlsupport.h"
#include "utility/trace.h"

#include <algorithm>
#include <cstdint>

namespace ORVUE {
namespace {

constexpr UINT kFadeTick = 66;                    // milliseconds between fade steps
constexpr float kFadeStepNumerator = 66.666664f;  // the fade step is this over the fade interval

// Premultiplied pixels: `over` at `weight` (0..256) laid over `under`, as source-over blending does.
inline uint32_t Over(uint32_t under, uint32_t over, uint32_t weight) {
    const uint32_t overAlpha = ((over >> 24) * weight) >> 8;
    const uint32_t keep = 256 - overAlpha - (overAlpha >> 7);  // 256 - overAlpha * 256 / 255, near enough
    uint32_t out = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        const uint32_t channel = ((((over >> shift) & 0xFF) * weight) >> 8) + ((((under >> shift) & 0xFF) * keep) >> 8);
        out |= (channel > 255 ? 255 : channel) << shift;
    }
    return out;
}

}  // namespace

// The two frames blended by the program itself: GDI+ draws with a colour matrix several times slower
// than it copies one finished picture.
ImageObject* CarouselUIObjectImpl::CrossFade(ImageObject* strip, int current, int next, int width, int height) {
    if (!fade_ || static_cast<int>(fade_->GetWidth()) != width || static_cast<int>(fade_->GetHeight()) != height) {
        fade_ = std::make_unique<ImageObject>(width, height);
        if (fade_->GetLastStatus() != Gdiplus::Ok) {
            fade_.reset();
            return nullptr;
        }
    }
    const float slot = static_cast<float>(strip->Width()) / static_cast<float>(FrameCount());
    Gdiplus::Rect whole(0, 0, static_cast<INT>(strip->Width()), static_cast<INT>(strip->Height()));
    Gdiplus::Rect target(0, 0, width, height);
    Gdiplus::BitmapData source = {}, blended = {};
    if (strip->LockBits(&whole, Gdiplus::ImageLockModeRead, PixelFormat32bppPARGB, &source) != Gdiplus::Ok) return nullptr;
    if (fade_->LockBits(&target, Gdiplus::ImageLockModeWrite, PixelFormat32bppPARGB, &blended) != Gdiplus::Ok) {
        strip->UnlockBits(&source);
        return nullptr;
    }
    const int currentLeft = static_cast<int>(slot * static_cast<float>(current));
    const int nextLeft = static_cast<int>(slot * static_cast<float>(next));
    const uint32_t weight = static_cast<uint32_t>((1.0f - alpha_) * 256.0f);
    for (int y = 0; y < height; ++y) {
        auto* out = reinterpret_cast<uint32_t*>(static_cast<BYTE*>(blended.Scan0) + y * blended.Stride);
        if (y >= static_cast<int>(source.Height)) {
            std::fill(out, out + width, 0u);
            continue;
        }
        const auto* row = reinterpret_cast<const uint32_t*>(static_cast<const BYTE*>(source.Scan0) + y * source.Stride);
        for (int x = 0; x < width; ++x) {
            const int cx = currentLeft + x, nx = nextLeft + x;
            const uint32_t under = cx < static_cast<int>(source.Width) ? row[cx] : 0;
            const uint32_t over = nx < static_cast<int>(source.Width) ? row[nx] : 0;
            out[x] = Over(under, over, weight);
        }
    }
    fade_->UnlockBits(&blended);
    strip->UnlockBits(&source);
    return fade_.get();
}

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
    const int count = FrameCount();
    const int current = frame_ % count;
    const int width = RectWidth(rect), height = RectHeight(rect);
    if (alpha_ < 1.0f) {
        if (ImageObject* blended = CrossFade(strip, current, (current + 1) % count, width, height)) {
            DrawImagePart(graphics, blended, rect.left, rect.top, 0, 0, width, height);
            return 0;
        }
    }
    const float slot = static_cast<float>(strip->Width()) / static_cast<float>(count);
    DrawImagePart(graphics, strip, rect.left, rect.top, static_cast<int>(slot * static_cast<float>(current)), 0, width,
                  height);
    return 0;
}

}  // namespace ORVUE
