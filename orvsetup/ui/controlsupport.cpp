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

void DrawImagePart(Gdiplus::Graphics& graphics, Gdiplus::Image* image, int left, int top, int x, int y, int width,
                   int height) {
    if (!image) return;
    const int imageWidth = static_cast<int>(image->GetWidth()), imageHeight = static_cast<int>(image->GetHeight());
    if (x < 0) {
        left -= x;
        width += x;
        x = 0;
    }
    if (y < 0) {
        top -= y;
        height += y;
        y = 0;
    }
    if (x + width > imageWidth) width = imageWidth - x;
    if (y + height > imageHeight) height = imageHeight - y;
    if (width <= 0 || height <= 0) return;
    graphics.DrawImage(image, Gdiplus::Rect(left, top, width, height), x, y, width, height, Gdiplus::UnitPixel);
}

void DrawStripFrame(Gdiplus::Graphics& graphics, Gdiplus::Image* strip, int frame, const RECT& dest) {
    DrawImagePart(graphics, strip, dest.left, dest.top, frame * RectWidth(dest), 0, RectWidth(dest), RectHeight(dest));
}

}  // namespace ORVUE
