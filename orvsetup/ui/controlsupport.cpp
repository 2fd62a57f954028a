// Resource rules and strip frames of the leaf controls.
#include "ui/controlsupport.h"

#include "ui/uierror.h"
#include "utility/trace.h"

namespace ORVUE {

void RequireResource(UINT resId) {
    if ((resId & 0xFFFF) != 0) return;
    orv::TraceLine(L"UI object needs an image resource id\r\n");
    ThrowUIError(E_FAIL);
}

void RequireNoResource(UINT resId) {
    if ((resId & 0xFFFF) == 0) return;
    orv::TraceLine(L"UI object takes no image resource, got id %u\r\n", resId & 0xFFFF);
    ThrowUIError(E_FAIL);
}

void DrawStripFrame(Gdiplus::Graphics& graphics, Gdiplus::Image* strip, int frame, const RECT& dest) {
    const int width = RectWidth(dest), height = RectHeight(dest);
    if (!strip || width <= 0 || height <= 0) return;
    graphics.DrawImage(strip, Gdiplus::Rect(dest.left, dest.top, width, height), frame * width, 0, width, height,
                       Gdiplus::UnitPixel);
}

}  // namespace ORVUE
