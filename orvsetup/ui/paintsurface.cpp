// Painting surfaces over DIB sections, and saving them as PNG files.
#include "ui/paintsurface.h"

#include <algorithm>
#include <cwchar>
#include <vector>

#include "utility/lockguard.h"

namespace ORVUE {
namespace {

// Every live surface's graphics with its DC; surfaces are few and short lists are searched fast. No
// surface is a static object, so none outlives the list.
struct SurfaceDc {
    const Gdiplus::Graphics* graphics;
    HDC dc;
};
SRWLOCK g_surfacesLock = SRWLOCK_INIT;
std::vector<SurfaceDc>& Surfaces() {
    static std::vector<SurfaceDc> surfaces;
    return surfaces;
}

bool PngEncoder(CLSID* clsid) {
    UINT count = 0, size = 0;
    if (Gdiplus::GetImageEncodersSize(&count, &size) != Gdiplus::Ok || size == 0) return false;
    std::vector<BYTE> buffer(size);
    auto* codecs = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.data());
    if (Gdiplus::GetImageEncoders(count, size, codecs) != Gdiplus::Ok) return false;
    for (UINT i = 0; i < count; ++i) {
        if (std::wcscmp(codecs[i].MimeType, L"image/png") == 0) {
            *clsid = codecs[i].Clsid;
            return true;
        }
    }
    return false;
}

}  // namespace

PaintSurface::PaintSurface(int width, int height, bool onBits)
    : width_(width), height_(height), pixels_(width, height) {
    if (!pixels_.Bits()) return;
    if (onBits) {
        wrapper_ = std::make_unique<Gdiplus::Bitmap>(width, height, width * 4, PixelFormat32bppPARGB,
                                                     reinterpret_cast<BYTE*>(pixels_.Bits()));
        if (wrapper_->GetLastStatus() != Gdiplus::Ok) return;
        graphics_ = std::make_unique<Gdiplus::Graphics>(wrapper_.get());
    } else {
        // On the memory DC GDI+ blends premultiplied images with the system's alpha blending, several
        // times faster under Wine than its own blending into a bitmap over the same pixels.
        graphics_ = std::make_unique<Gdiplus::Graphics>(pixels_.Dc());
    }
    if (graphics_->GetLastStatus() != Gdiplus::Ok) {
        graphics_.reset();
        return;
    }
    orv::ExclusiveGuard guard(g_surfacesLock);
    Surfaces().push_back({graphics_.get(), pixels_.Dc()});
}

PaintSurface::~PaintSurface() {
    if (graphics_) {
        orv::ExclusiveGuard guard(g_surfacesLock);
        auto& surfaces = Surfaces();
        surfaces.erase(std::remove_if(surfaces.begin(), surfaces.end(),
                                      [this](const SurfaceDc& entry) { return entry.graphics == graphics_.get(); }),
                       surfaces.end());
    }
    graphics_.reset();
    wrapper_.reset();
}

void PaintSurface::Fill(uint32_t argb) {
    uint32_t* bits = pixels_.Bits();
    if (!bits) return;
    for (int i = 0; i < width_ * height_; ++i) bits[i] = argb;
}

HDC PaintSurface::DcOf(const Gdiplus::Graphics& graphics) {
    orv::ExclusiveGuard guard(g_surfacesLock);
    for (const SurfaceDc& entry : Surfaces()) {
        if (entry.graphics == &graphics) return entry.dc;
    }
    return nullptr;
}

bool PaintSurface::SavePng(const wchar_t* path) const {
    if (!pixels_.Bits()) return false;
    if (graphics_) graphics_->Flush(Gdiplus::FlushIntentionSync);
    Gdiplus::Bitmap copy(width_, height_, width_ * 4, PixelFormat32bppPARGB, reinterpret_cast<BYTE*>(pixels_.Bits()));
    CLSID png;
    return PngEncoder(&png) && copy.Save(path, &png, nullptr) == Gdiplus::Ok;
}

}  // namespace ORVUE
