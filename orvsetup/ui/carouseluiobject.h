// A slide show: a picture whose strip frames cross-fade one into the next on timers the window runs.
#pragma once

#include "ui/orvbaseanimationobject.h"
#include "ui/pictureuiobject.h"

#include <memory>

namespace ORVUE {

class CarouselUIObjectImpl : public PictureUIObjectImpl, public IORVBaseAnimationObject {
public:
    // Takes two consecutive timer ids: the slide timer's, then the fade timer's.
    CarouselUIObjectImpl();
    // Asks the window to drop the timers if it is still playing, so no timer outlives the object.
    ~CarouselUIObjectImpl() override;

    // The current frame with the next one blended over it by 1 - alpha.
    int Paint(Gdiplus::Graphics& graphics) override;

    void Play() override;
    void Stop() override;
    void OnTimer(int timerId) override;

    // Counts below 1 count as 1.
    void SetFrameCount(int count);
    void ResetFrame();
    void SetInterval(UINT milliseconds) { interval_ = milliseconds; }
    void SetFadeInterval(UINT milliseconds) { fadeInterval_ = milliseconds; }

    WORD SlideTimerId() const { return slideTimerId_; }
    WORD FadeTimerId() const { return fadeTimerId_; }

private:
    int FrameCount() const { return frameCount_ < 1 ? 1 : frameCount_; }
    void RequestTimer(WORD timerId, UINT interval);
    void KillTimer(WORD timerId);
    void FadeTick();
    ImageObject* CrossFade(ImageObject* strip, int current, int next, int width, int height);

    int frameCount_ = 0;
    int frame_ = 0;
    float alpha_ = 1.0f;
    float fadeStep_ = 0.1f;
    UINT fadeInterval_ = 500;
    UINT interval_ = 1000;
    WORD slideTimerId_;
    WORD fadeTimerId_;
    BOOL playing_ = FALSE;
    std::unique_ptr<ImageObject> fade_;  // the picture of the last cross-fade, reused
};

}  // namespace ORVUE
