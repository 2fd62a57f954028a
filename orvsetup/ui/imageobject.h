// A skin image decoded once from the program's own resources and kept in the premultiplied format that
// the dialogs' surfaces use, so that drawing a frame never converts pixels.
#pragma once

#include <windows.h>
#include <gdiplus.h>

namespace ORVUE {

class ImageObject : public Gdiplus::Bitmap {
public:
    // Finds resource (low 16 bits of `resId`, `resType`) in the program's module and decodes it. Throws
    // UIError(E_FAIL) when the resource is missing or cannot be loaded; bytes that are not an image give
    // an invalid image whose draws fail quietly.
    ImageObject(const wchar_t* resType, UINT resId);
    ~ImageObject() override = default;

    UINT Width() { return GetWidth(); }
    UINT Height() { return GetHeight(); }

private:
    explicit ImageObject(Gdiplus::Bitmap* decoded);
    ImageObject(const ImageObject&) = delete;
    ImageObject& operator=(const ImageObject&) = delete;
};

}  // namespace ORVUE
