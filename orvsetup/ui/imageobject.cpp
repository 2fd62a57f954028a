// Skin images: resource bytes copied into a stream, decoded by GDI+, converted into a premultiplied bitmap.
#include "ui/imageobject.h"

#include "ui/preparedimages.h"
#include "ui/uierror.h"
#include "utility/resourcedata.h"
#include "utility/trace.h"
#include "utility/uniquehandle.h"

#include <cstring>
#include <memory>

#define ORV_TRACE_SOURCE L"imageobject"

namespace ORVUE {
namespace {

orv::ResourceBytes ImageBytes(const wchar_t* resType, UINT resId) {
    return orv::LoadResourceBytes(::GetModuleHandleW(nullptr), resType, MAKEINTRESOURCEW(resId & 0xFFFF));
}

// The image GDI+ decodes from the bytes (an invalid bitmap when they are no image); null, with `failure`
// set, when no stream can be made of them.
Gdiplus::Bitmap* DecodeBytes(const orv::ResourceBytes& bytes, HRESULT& failure) {
    orv::UniqueGlobalMemory block(::GlobalAlloc(GMEM_FIXED, bytes.size));
    failure = E_OUTOFMEMORY;
    if (!block) return nullptr;
    std::memcpy(block.Get(), bytes.data, bytes.size);
    orv::ComRef<IStream> stream;
    failure = E_FAIL;
    if (FAILED(::CreateStreamOnHGlobal(block.Get(), TRUE, reinterpret_cast<IStream**>(stream.Put())))) return nullptr;
    block.Release();  // the stream frees it
    return new Gdiplus::Bitmap(stream.Get());
}

// The decoded image; an invalid bitmap when the bytes are no image. Throws when the resource is missing.
Gdiplus::Bitmap* DecodeResource(const wchar_t* resType, UINT resId) {
    const orv::ResourceBytes bytes = ImageBytes(resType, resId);
    if (bytes.status != orv::ResourceStatus::kLoaded) {
        orv::TraceLine(L"image resource %u of type %ls is missing or unreadable, error %lu\r\n", resId & 0xFFFF,
                       resType ? resType : L"(none)", bytes.error);
        ThrowUIError(E_FAIL);
    }
    HRESULT failure = S_OK;
    Gdiplus::Bitmap* decoded = DecodeBytes(bytes, failure);
    if (!decoded) ThrowUIError(failure);
    if (decoded->GetLastStatus() != Gdiplus::Ok) {
        orv::TraceLine(L"image resource %u is not a decodable image\r\n", resId & 0xFFFF);
    }
    return decoded;
}

}  // namespace

ImageObject::ImageObject(const wchar_t* resType, UINT resId) : ImageObject(DecodeResource(resType, resId)) {}

std::unique_ptr<ImageObject> ImageObject::Load(const wchar_t* resType, UINT resId) {
    if (PreparedImages* prepared = CurrentPreparedImages()) {
        if (std::unique_ptr<ImageObject> image = prepared->Take(resType, resId)) return image;
    }
    return std::make_unique<ImageObject>(resType, resId);
}

std::unique_ptr<ImageObject> ImageObject::Prepare(const wchar_t* resType, UINT resId) {
    if (!resType) return nullptr;
    const orv::ResourceBytes bytes = ImageBytes(resType, resId);
    if (bytes.status != orv::ResourceStatus::kLoaded) return nullptr;
    HRESULT failure = S_OK;
    std::unique_ptr<Gdiplus::Bitmap> decoded(DecodeBytes(bytes, failure));
    if (!decoded || decoded->GetLastStatus() != Gdiplus::Ok) return nullptr;
    std::unique_ptr<ImageObject> image(new ImageObject(decoded.release()));
    if (image->GetLastStatus() != Gdiplus::Ok) return nullptr;
    return image;
}

ImageObject::ImageObject(Gdiplus::Bitmap* decoded)
    : ImageObject(std::unique_ptr<Gdiplus::Bitmap>(decoded), static_cast<int>(decoded->GetWidth()),
                  static_cast<int>(decoded->GetHeight())) {}

// GDI+ keeps its bitmap over the section's pixels (or, without a section, over pixels of its own).
ImageObject::ImageObject(std::unique_ptr<Gdiplus::Bitmap> decoded, int width, int height)
    : DibPixels(width, height),
      Gdiplus::Bitmap(width, height, width * 4, PixelFormat32bppPARGB, reinterpret_cast<BYTE*>(Bits())) {
    if (GetLastStatus() != Gdiplus::Ok || !decoded) return;  // nothing decoded: an image whose draws fail
    // The decoder's pixels are converted straight into this bitmap's own: no drawing, so no device
    // context, and one pass over the pixels.
    Gdiplus::Rect all(0, 0, width, height);
    Gdiplus::BitmapData own;
    if (LockBits(&all, Gdiplus::ImageLockModeWrite, PixelFormat32bppPARGB, &own) != Gdiplus::Ok) return;
    Gdiplus::BitmapData converted = own;
    if (decoded->LockBits(&all, Gdiplus::ImageLockModeRead | Gdiplus::ImageLockModeUserInputBuf,
                          PixelFormat32bppPARGB, &converted) == Gdiplus::Ok) {
        decoded->UnlockBits(&converted);
    }
    UnlockBits(&own);
}

ImageObject::ImageObject(int width, int height) : ImageObject(nullptr, width, height) {}

}  // namespace ORVUE
