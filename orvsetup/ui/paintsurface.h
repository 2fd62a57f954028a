// A window-sized picture the UI tree paints into: a top-down 32-bit DIB section of premultiplied pixels
// in a memory DC, with a GDI+ graphics on that DC.
#pragma once

#include <windows.h>
#include <gdiplus.h>

#include <cstdint>
#include <memory>

#include "ui/dibpixels.h"

namespace ORVUE {

class PaintSurface {
public:
    // Starts fully transparent. Valid() is false when the bitmap could not be made. `onBits` makes the
    // graphics draw into the pixels through a GDI+ bitmap instead of the DC (GDI+ then blends itself).
    PaintSurface(int width, int height, bool onBits = false);
    ~PaintSurface();
    PaintSurface(const PaintSurface&) = delete;
    PaintSurface& operator=(const PaintSurface&) = delete;

    bool Valid() const { return graphics_ != nullptr; }
    Gdiplus::Graphics& Graphics() { return *graphics_; }
    HDC Dc() const { return pixels_.Dc(); }
    uint32_t* Bits() const { return pixels_.Bits(); }
    int Width() const { return width_; }
    int Height() const { return height_; }
    // Premultiplied 0xAARRGGBB.
    uint32_t Pixel(int x, int y) const { return pixels_.Bits()[y * width_ + x]; }
    void Fill(uint32_t argb);
    // Writes the picture as a PNG file.
    bool SavePng(const wchar_t* path) const;

    // The DC over the pixels a surface's graphics draws into; null for a graphics that is no surface's
    // (one over a GDI+ bitmap of its own, say), which only GDI+ may draw with.
    static HDC DcOf(const Gdiplus::Graphics& graphics);

private:
    int width_, height_;
    DibPixels pixels_;                          // outlives the two below
    std::unique_ptr<Gdiplus::Bitmap> wrapper_;  // over the pixels, when drawing on the bits
    std::unique_ptr<Gdiplus::Graphics> graphics_;
};

}  // namespace ORVUE
