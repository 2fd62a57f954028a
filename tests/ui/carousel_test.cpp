// The carousel: its timer protocol with the window, the fade arithmetic and the cross-fade it paints.
#include <gtest/gtest.h>

#include "tracecapture.h"
#include "ui/carouseluiobject.h"
#include "uitest.h"

#include <memory>

namespace orvtest {
namespace {

using ORVUE::ORVUM_KILLANIMATIONTIMER;
using ORVUE::ORVUM_SETANIMATIONTIMER;

std::unique_ptr<ORVUE::CarouselUIObjectImpl> MakeCarousel(HWND owner, int frames, UINT fadeInterval) {
    auto carousel = std::make_unique<ORVUE::CarouselUIObjectImpl>();
    carousel->Create(owner, 0, 0, 40, 20, kSlides, L"PNG");
    carousel->SetFrameCount(frames);
    carousel->ResetFrame();
    carousel->SetInterval(2000);
    carousel->SetFadeInterval(fadeInterval);
    return carousel;
}

LPARAM AnimationOf(ORVUE::CarouselUIObjectImpl& carousel) {
    return reinterpret_cast<LPARAM>(static_cast<ORVUE::IORVBaseAnimationObject*>(&carousel));
}

uint32_t Painted(ORVUE::CarouselUIObjectImpl& carousel) {
    Surface surface(40, 20);
    carousel.Paint(surface.Graphics());
    return surface.Pixel(20, 10);
}

// Fade ticks until the window is told to kill the fade timer.
int TicksUntilFadeEnds(ORVUE::CarouselUIObjectImpl& carousel, RecordingWindow& window) {
    window.Clear();
    for (int ticks = 1; ticks <= 100; ++ticks) {
        carousel.OnTimer(carousel.FadeTimerId());
        if (!window.Only(ORVUM_KILLANIMATIONTIMER).empty()) return ticks;
    }
    return -1;
}

TEST(Carousel, TimerProtocol) {
    RecordingWindow window;
    auto first = MakeCarousel(window.Handle(), 3, 500);
    auto second = MakeCarousel(window.Handle(), 3, 500);
    EXPECT_EQ(first->FadeTimerId(), static_cast<WORD>(first->SlideTimerId() + 1));
    EXPECT_EQ(second->SlideTimerId(), static_cast<WORD>(first->SlideTimerId() + 2));
    const WORD slide = first->SlideTimerId(), fade = first->FadeTimerId();

    TraceCapture trace;
    first->Play();
    first->Play();  // already playing: nothing more
    ASSERT_EQ(window.Messages().size(), 1u);
    EXPECT_EQ(window.Messages()[0].msg, ORVUM_SETANIMATIONTIMER);
    EXPECT_EQ(window.Messages()[0].wParam, static_cast<WPARAM>(MAKELONG(slide, 2000)));
    EXPECT_EQ(window.Messages()[0].lParam, AnimationOf(*first));
    ASSERT_GE(TraceCapture::Lines().size(), 2u);
    EXPECT_EQ(TraceCapture::Lines()[0], L"qz ORVUE::CarouselUIObjectImpl::Play");
    EXPECT_EQ(TraceCapture::Lines()[1], L"qz Fade:0.13\r\n");

    window.Clear();
    first->OnTimer(slide);  // a slide tick starts the fade ticks
    ASSERT_EQ(window.Messages().size(), 1u);
    EXPECT_EQ(window.Messages()[0].msg, ORVUM_SETANIMATIONTIMER);
    EXPECT_EQ(window.Messages()[0].wParam, static_cast<WPARAM>(MAKELONG(fade, 66)));
    EXPECT_EQ(TicksUntilFadeEnds(*first, window), 8);
    ASSERT_EQ(window.Messages().size(), 1u);
    EXPECT_EQ(window.Messages()[0].wParam, static_cast<WPARAM>(fade));
    EXPECT_EQ(window.Messages()[0].lParam, AnimationOf(*first));
    EXPECT_EQ(TraceCapture::Lines().back(), L"qz ORVUE::CarouselUIObjectImpl::OnTimer " + std::to_wstring(fade));

    window.Clear();
    first->OnTimer(second->SlideTimerId());  // not one of its timers
    EXPECT_TRUE(window.Messages().empty());
    first->Stop();
    first->Stop();
    ASSERT_EQ(window.Messages().size(), 2u);
    EXPECT_EQ(window.Messages()[0].msg, ORVUM_KILLANIMATIONTIMER);
    EXPECT_EQ(window.Messages()[0].wParam, static_cast<WPARAM>(fade));
    EXPECT_EQ(window.Messages()[1].wParam, static_cast<WPARAM>(slide));
    EXPECT_EQ(TraceCapture::Lines().back(), L"qz ORVUE::CarouselUIObjectImpl::Stop");

    // An interval beyond 16 bits is cut to its low 16 bits in the request.
    window.Clear();
    second->SetInterval(70000);
    second->Play();
    EXPECT_EQ(HIWORD(window.Messages().at(0).wParam), 70000u & 0xFFFF);
    // Destroyed while playing: the window is told to drop both timers.
    window.Clear();
    second.reset();
    EXPECT_EQ(window.Only(ORVUM_KILLANIMATIONTIMER).size(), 2u);
}

TEST(Carousel, PaintsTheCrossFade) {
    RecordingWindow window;
    auto carousel = MakeCarousel(window.Handle(), 3, 133);  // a step of about 0.5
    EXPECT_TRUE(Near(Painted(*carousel), kSlideColours[0]));
    carousel->Play();
    carousel->OnTimer(carousel->SlideTimerId());
    carousel->OnTimer(carousel->FadeTimerId());  // alpha about 0.5: both frames at half, opaque
    EXPECT_TRUE(Near(Painted(*carousel), 0xFF7F8000, 3)) << std::hex << Painted(*carousel);
    carousel->OnTimer(carousel->FadeTimerId());  // the fade ends on the next frame
    EXPECT_TRUE(Near(Painted(*carousel), kSlideColours[1]));

    // Stopped mid-fade: the blend stays as it was (four steps of 0.1333: alpha 0.467).
    carousel->Stop();
    carousel->SetFadeInterval(500);
    carousel->Play();
    carousel->OnTimer(carousel->SlideTimerId());
    for (int i = 0; i < 4; ++i) carousel->OnTimer(carousel->FadeTimerId());
    carousel->Stop();
    const uint32_t frozen = Painted(*carousel);
    EXPECT_TRUE(Near(frozen, 0xFF007788, 4)) << std::hex << frozen;  // green 0.467, blue 0.533
    EXPECT_EQ(Painted(*carousel), frozen);
    carousel->SetVisible(FALSE);
    EXPECT_EQ(Painted(*carousel), 0u);
}

TEST(Carousel, FrameCountBelowOneCountsAsOne) {
    RecordingWindow window;
    auto carousel = MakeCarousel(window.Handle(), 0, 500);
    carousel->Play();
    carousel->OnTimer(carousel->SlideTimerId());
    EXPECT_EQ(TicksUntilFadeEnds(*carousel, window), 8);
    Surface surface(40, 20);
    carousel->Paint(surface.Graphics());  // one frame as wide as the whole strip, drawn 1:1 from its left
    EXPECT_TRUE(Near(surface.Pixel(20, 10), kSlideColours[0]));
}

}  // namespace
}  // namespace orvtest
