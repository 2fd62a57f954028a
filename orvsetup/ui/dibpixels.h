// Premultiplied 32-bit pixels that both GDI and GDI+ can draw with: a top-down DIB section selected into a
// memory DC of its own.
#pragma once

#include <windows.h>

#include <cstdint>

#include "utility/uniquehandle.h"

namespace ORVUE {

class DibPixels {
public:
    // Fully transparent. Dc() and Bits() are null when the system had no section or DC to give.
    DibPixels(int width, int height);
    ~DibPixels();
    DibPixels(const DibPixels&) = delete;
    DibPixels& operator=(const DibPixels&) = delete;

    HDC Dc() const { return dc_.Get(); }
    uint32_t* Bits() const { return bits_; }

private:
    orv::UniqueGdiObject dib_;
    orv::UniqueMemoryDc dc_;
    HGDIOBJ previous_ = nullptr;
    uint32_t* bits_ = nullptr;
};

}  // namespace ORVUE
