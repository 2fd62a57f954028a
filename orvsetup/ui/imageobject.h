// A skin image decoded once from the program's own resources and kept in the premultiplied format that
// the dialogs' surfaces use, so that drawing a frame never converts pixels.
#pragma once

#include <windows.h>
#include <gdiplus.h>

#include <cstdint>
#include <memory>

#include "utility/uniquehandle.h"

namespace ORVUE {

// The pixels of an image: a top-down 32-bit DIB section selected into a memory DC of its own, so that
// GDI can blend them straight onto a surface. Dc() is null when the system had no section to give.
class ImagePixels {
public:
    HDC Dc() const { return dc_.Get(); }
    uint32_t* Bits() const { return bits_; }

protected:
    ImagePixels(int width, int height);
    ~ImagePixels();
    ImagePixels(const ImagePixels&) = delete;
    ImagePixels& operator=(const ImagePixels&) = delete;

private:
    orv::UniqueGdiObject dib_;
    orv::UniqueMemoryDc dc_;
    HGDIOBJ previous_ = nullptr;
    uint32_t* bits_ = nullptr;
};

// The GDI+ bitmap works on the same pixels; ImagePixels is the first base, so they outlive it.
class ImageObject : public ImagePixels, public Gdiplus::Bitmap {
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
