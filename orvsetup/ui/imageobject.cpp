// Skin images: resource bytes copied into a stream, decoded by GDI+, copied into a premultiplied bitmap.
#include "ui/imageobject.h"

#include "ui/uierror.h"
#include "utility/resourcedata.h"
#include "utility/trace.h"
#include "utility/uniquehandle.h"

#include <cstring>
#include <memory>

#define ORV_TRACE_SOURCE L"imageobject"

namespace ORVUE {
namespace {

// The decoded image; an invalid bitmap when the bytes are no image. Throws when the resource is missing.
Gdiplus::Bitmap* DecodeResource(const wchar_t* resType, UINT resId) {
    const orv::ResourceBytes bytes =
        orv::LoadResourceBytes(::GetModuleHandleW(nullptr), resType, MAKEINTRESOURCEW(resId & 0xFFFF));
    if (bytes.status != orv::ResourceStatus::kLoaded) {
        orv::TraceLine(L"image resource %u of type %ls is missing or unreadable, error %lu\r\n", resId & 0xFFFF,
                       resType ? resType : L"(none)", bytes.error);
        ThrowUIError(E_FAIL);
    }
    orv::UniqueGlobalMemory block(::GlobalAlloc(GMEM_FIXED, bytes.size));
    if (!block) ThrowUIError(E_OUTOFMEMORY);
    std::memcpy(block.Get(), bytes.data, bytes.size);
    orv::ComRef<IStream> stream;
    if (FAILED(::CreateStreamOnHGlobal(block.Get(), TRUE, reinterpret_cast<IStream**>(stream.Put())))) {
        ThrowUIError(E_FAIL);
    }
    block.Release();  // the stream frees it
    auto* decoded = new Gdiplus::Bitmap(stream.Get());
    if (decoded->GetLastStatus() != Gdiplus::Ok) {
        orv::TraceLine(L"image resource %u is not a decodable image\r\n", resId & 0xFFFF);
    }
    return decoded;
}

}  // namespace

ImageObject::ImageObject(const wchar_t* resType, UINT resId) : ImageObject(DecodeResource(resType, resId)) {}

ImageObject::ImageObject(Gdiplus::Bitmap* decodedRaw)
    : Gdiplus::Bitmap(static_cast<INT>(decodedRaw->GetWidth()), static_cast<INT>(decodedRaw->GetHeight()),
                      PixelFormat32bppPARGB) {
    std::unique_ptr<Gdiplus::Bitmap> decoded(decodedRaw);
    if (GetLastStatus() != Gdiplus::Ok) return;  // nothing decoded: an image whose draws fail
    Gdiplus::Graphics copy(this);
    copy.SetCompositingMode(Gdiplus::CompositingModeSourceCopy);
    copy.DrawImage(decoded.get(), 0, 0, static_cast<INT>(decoded->GetWidth()), static_cast<INT>(decoded->GetHeight()));
}

}  // namespace ORVUE
