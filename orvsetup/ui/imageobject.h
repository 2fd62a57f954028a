// A skin image decoded once from the program's own resources and kept in the premultiplied format that
// the dialogs' surfaces use, so that drawing a frame never converts pixels.
#pragma once

#include <windows.h>
#include <gdiplus.h>

#include <memory>

#include "ui/dibpixels.h"

namespace ORVUE {

// The GDI+ bitmap works on the section's pixels; DibPixels is the first base, so they outlive it.
class ImageObject : public DibPixels, public Gdiplus::Bitmap {
public:
    // Finds resource (low 16 bits of `resId`, `resType`) in the program's module and decodes it. Throws
    // UIError(E_FAIL) when the resource is missing or cannot be loaded; bytes that are not an image give
    // an invalid image whose draws fail quietly.
    ImageObject(const wchar_t* resType, UINT resId);
    // A fully transparent image of that size, for pictures the program composes itself.
    ImageObject(int width, int height);
    ~ImageObject() override = default;

    // The image another thread prepared for the resource (see PreparedImages), else one decoded now as
    // the constructor does.
    static std::unique_ptr<ImageObject> Load(const wchar_t* resType, UINT resId);
    // Decodes without a trace or an exception: null when the resource is missing or no image, so that
    // the object that needs it decodes it itself and reports the fault.
    static std::unique_ptr<ImageObject> Prepare(const wchar_t* resType, UINT resId);

    UINT Width() { return GetWidth(); }
    UINT Height() { return GetHeight(); }

private:
    explicit ImageObject(Gdiplus::Bitmap* decoded);
    ImageObject(std::unique_ptr<Gdiplus::Bitmap> decoded, int width, int height);
    ImageObject(const ImageObject&) = delete;
    ImageObject& operator=(const ImageObject&) = delete;
};

}  // namespace ORVUE
