// DIB sections in memory DCs.
#include "ui/dibpixels.h"

#include <utility>

namespace ORVUE {

DibPixels::DibPixels(int width, int height) {
    if (width <= 0 || height <= 0) return;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down: rows in the order GDI+ lays them out
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    orv::UniqueGdiObject dib(::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    orv::UniqueMemoryDc dc(::CreateCompatibleDC(nullptr));
    if (!dib || !dc || !bits) return;
    previous_ = ::SelectObject(dc.Get(), dib.Get());
    if (!previous_) return;
    dib_ = std::move(dib);
    dc_ = std::move(dc);
    bits_ = static_cast<uint32_t*>(bits);  // a new section is all zeros
}

DibPixels::~DibPixels() {
    if (previous_) ::SelectObject(dc_.Get(), previous_);
}

}  // namespace ORVUE
