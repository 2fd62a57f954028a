// Pieces the leaf controls share: resource rules, requests to the owner window, strip frames and guards
// that keep a graphics' drawing modes.
#pragma once

#include "ui/imageobject.h"
#include "ui/orvbaseanimationobject.h"
#include "ui/orvbaseuiobject.h"

#include <windows.h>
#include <gdiplus.h>

namespace ORVUE {

// The resource rules of Create: throw UIError(E_FAIL) when the rule is broken. Only the low 16 bits of
// a resource id name the resource.
void RequireResource(UINT resId);
void RequireNoResource(UINT resId);

// Sends `msg` to the owner window with the object in LPARAM and waits for the window to handle it.
inline void SendToOwner(HWND owner, UINT msg, WPARAM wParam, IORVBaseUIObject* object) {
    ::SendMessageW(owner, msg, wParam, reinterpret_cast<LPARAM>(object));
}
// Animation requests carry the object's animation interface.
inline void SendToOwner(HWND owner, UINT msg, WPARAM wParam, IORVBaseAnimationObject* object) {
    ::SendMessageW(owner, msg, wParam, reinterpret_cast<LPARAM>(object));
}

inline int RectWidth(const RECT& rect) { return rect.right - rect.left; }
inline int RectHeight(const RECT& rect) { return rect.bottom - rect.top; }

// Draws the part (x, y, width, height) of `image` 1:1 with its top-left at (left, top). Only what lies
// inside the image is asked for: a source reaching beyond the image sends GDI+ down a slow path for the
// same pixels.
void DrawImagePart(Gdiplus::Graphics& graphics, Gdiplus::Image* image, int left, int top, int x, int y, int width,
                   int height);
// The same for a skin image on a painting surface's graphics: GDI blends the image's section onto the
// surface's DC inside the graphics' clip (or copies it, when the compositing mode is source copy), many
// times faster under Wine than GDI+ drawing a bitmap that has no section. Any other graphics gets GDI+.
// The surfaces' graphics are never transformed: GDI draws at the given pixel positions.
void DrawImagePart(Gdiplus::Graphics& graphics, ImageObject* image, int left, int top, int x, int y, int width,
                   int height);

// Draws frame `frame` of a strip 1:1 into `dest`: frame i is the source rectangle (i x W, 0, W, H) of the
// size of `dest`. An empty `dest` or a missing strip draws nothing.
void DrawStripFrame(Gdiplus::Graphics& graphics, ImageObject* strip, int frame, const RECT& dest);

// Sets an interpolation mode for one scope and puts the previous one back.
class InterpolationScope {
public:
    InterpolationScope(Gdiplus::Graphics& graphics, Gdiplus::InterpolationMode mode)
        : graphics_(graphics), previous_(graphics.GetInterpolationMode()) {
        graphics_.SetInterpolationMode(mode);
    }
    ~InterpolationScope() { graphics_.SetInterpolationMode(previous_); }
    InterpolationScope(const InterpolationScope&) = delete;
    InterpolationScope& operator=(const InterpolationScope&) = delete;

private:
    Gdiplus::Graphics& graphics_;
    Gdiplus::InterpolationMode previous_;
};

// Sets a text-rendering hint for one scope and puts the previous one back.
class TextHintScope {
public:
    TextHintScope(Gdiplus::Graphics& graphics, Gdiplus::TextRenderingHint hint)
        : graphics_(graphics), previous_(graphics.GetTextRenderingHint()) {
        graphics_.SetTextRenderingHint(hint);
    }
    ~TextHintScope() { graphics_.SetTextRenderingHint(previous_); }
    TextHintScope(const TextHintScope&) = delete;
    TextHintScope& operator=(const TextHintScope&) = delete;

private:
    Gdiplus::Graphics& graphics_;
    Gdiplus::TextRenderingHint previous_;
};

}  // namespace ORVUE
