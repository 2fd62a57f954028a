// Resource rules and strip frames of the leaf controls.
#include "ui/controlsupport.h"

#include <algorithm>

#include "ui/paintsurface.h"
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

namespace {

// Shrinks the source part (x, y, width, height), drawn at (left, top), to what lies inside an image of
// `imageWidth` x `imageHeight`; false when nothing is left.
bool ClampToImage(int imageWidth, int imageHeight, int& left, int& top, int& x, int& y, int& width, int& height) {
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
    return width > 0 && height > 0;
}

}  // namespace

void DrawImagePart(Gdiplus::Graphics& graphics, Gdiplus::Image* image, int left, int top, int x, int y, int width,
                   int height) {
    if (!image) return;
    if (!ClampToImage(static_cast<int>(image->GetWidth()), static_cast<int>(image->GetHeight()), left, top, x, y,
                      width, height)) {
        return;
    }
    graphics.DrawImage(image, Gdiplus::Rect(left, top, width, height), x, y, width, height, Gdiplus::UnitPixel);
}

void DrawImagePart(Gdiplus::Graphics& graphics, ImageObject* image, int left, int top, int x, int y, int width,
                   int height) {
    if (!image) return;
    HDC target = PaintSurface::DcOf(graphics);
    if (!image->Dc() || !target) {
        DrawImagePart(graphics, static_cast<Gdiplus::Image*>(image), left, top, x, y, width, height);
        return;
    }
    if (!ClampToImage(static_cast<int>(image->GetWidth()), static_cast<int>(image->GetHeight()), left, top, x, y,
                      width, height)) {
        return;
    }
    // GDI does not know the graphics' clip: the part is cut to its bounds here (the clips are rectangles).
    Gdiplus::Rect clip;
    if (graphics.GetClipBounds(&clip) != Gdiplus::Ok) return;
    const int clipLeft = std::max(left, clip.X), clipTop = std::max(top, clip.Y);
    const int clipRight = std::min(left + width, clip.GetRight()), clipBottom = std::min(top + height, clip.GetBottom());
    if (clipRight <= clipLeft || clipBottom <= clipTop) return;
    x += clipLeft - left;
    y += clipTop - top;
    left = clipLeft;
    top = clipTop;
    width = clipRight - clipLeft;
    height = clipBottom - clipTop;

    graphics.Flush(Gdiplus::FlushIntentionSync);  // what GDI+ drew so far is in the pixels first
    BOOL drawn = FALSE;
    if (graphics.GetCompositingMode() == Gdiplus::CompositingModeSourceCopy) {
        drawn = ::BitBlt(target, left, top, width, height, image->Dc(), x, y, SRCCOPY);
    } else {
        const BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
        drawn = ::GdiAlphaBlend(target, left, top, width, height, image->Dc(), x, y, width, height, blend);
    }
    ::GdiFlush();  // and GDI's are, before GDI+ draws on
    if (!drawn) DrawImagePart(graphics, static_cast<Gdiplus::Image*>(image), left, top, x, y, width, height);
}

void DrawStripFrame(Gdiplus::Graphics& graphics, ImageObject* strip, int frame, const RECT& dest) {
    DrawImagePart(graphics, strip, dest.left, dest.top, frame * RectWidth(dest), 0, RectWidth(dest), RectHeight(dest));
}

}  // namespace ORVUE
